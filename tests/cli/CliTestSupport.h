// Running varno and datebook-desktop as a user would: a fresh home each, the environment of
// the test (TZ, VARNO_NOW, the registry's regional settings and code page), standard input
// from /dev/null, the output collected.
#pragma once

#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

struct CProgramRun {
    int m_nExit = -1;
    std::string m_strOut;
    std::string m_strErr;
};

// Extra variables for the child, NAME=value.
using CEnvironment = std::vector<std::string>;

// Starts the program without waiting; stdout and stderr go to the files, standard input
// comes from inFile.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& outFile, const std::string& errFile,
                   const CEnvironment& extra = {}, const std::string& inFile = "/dev/null");
// Waits for it: the exit status, or 128 + the signal that ended it.
int WaitProgram(pid_t pid);
CProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const CEnvironment& extra = {}, const std::string& inFile = "/dev/null");

// The programs built with the test hooks (tests/support/hooks/TestHooks.h).
inline const std::string kVarno = VARNO_BINARY_DIR "/tests/varno-test";
inline const std::string kDesktop = VARNO_BINARY_DIR "/tests/datebook-desktop-test";

// CVarnoTest (de-DE, code page 1252, Berlin, 2026-12-05 12:00) with varno run on a home of
// its own through --home.
class CCliTest : public CVarnoTest {
protected:
    void SetUp() override;
    [[nodiscard]] const std::string& CliHome() const { return m_strHome; }

    CProgramRun Varno(std::vector<std::string> args, const CEnvironment& extra = {}) const;
    // varno with standard input read from the file.
    CProgramRun VarnoReading(const std::string& inFile, std::vector<std::string> args) const;
    // Expects exit 0 and nothing on standard error.
    CProgramRun VarnoOk(std::vector<std::string> args) const;
    // Expects the exit status and a message on standard error.
    CProgramRun VarnoFails(std::vector<std::string> args, int nExit) const;
    CProgramRun Desktop(std::vector<std::string> args) const;
    // Adds an appointment with datebook-desktop's add command; gives its record id.
    std::string AddAppointment(std::vector<std::string> args) const;
    // The appointments of the current user as datebook-desktop lists them.
    [[nodiscard]] std::vector<std::string> ListAppointments() const;
    // A file inside the home.
    [[nodiscard]] std::string File(const std::string& name) const { return m_strHome + "/" + name; }

private:
    std::string m_strHome;
};

// The lines of a text.
[[nodiscard]] std::vector<std::string> Lines(const std::string& text);
