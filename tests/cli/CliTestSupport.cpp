#include "tests/cli/CliTestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <sstream>

extern char** environ;

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& outFile, const std::string& errFile,
                   const CEnvironment& extra, const std::string& inFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** p = environ; *p; ++p)
        env.emplace_back(*p);
    // A variable given again replaces the inherited one (getenv finds the first).
    for (const std::string& e : extra) {
        const std::string name = e.substr(0, e.find('=') + 1);
        std::erase_if(env, [&](const std::string& v) { return v.rfind(name, 0) == 0; });
        env.push_back(e);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int WaitProgram(pid_t pid) {
    if (pid < 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

CProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                       const CEnvironment& extra, const std::string& inFile) {
    const std::string out = TempPath("stdout.txt");
    const std::string err = TempPath("stderr.txt");
    CProgramRun run;
    run.m_nExit = WaitProgram(StartProgram(program, args, out, err, extra, inFile));
    run.m_strOut = ReadFileBytes(out);
    run.m_strErr = ReadFileBytes(err);
    return run;
}

void CCliTest::SetUp() {
    CVarnoTest::SetUp();
    m_strHome = Home();
}

CProgramRun CCliTest::Varno(std::vector<std::string> args, const CEnvironment& extra) const {
    args.insert(args.begin(), {"--home", m_strHome});
    return RunProgram(kVarno, args, extra);
}

CProgramRun CCliTest::VarnoReading(const std::string& inFile, std::vector<std::string> args) const {
    args.insert(args.begin(), {"--home", m_strHome});
    return RunProgram(kVarno, args, {}, inFile);
}

CProgramRun CCliTest::VarnoOk(std::vector<std::string> args) const {
    std::string command;
    for (const std::string& arg : args)
        command += " " + arg;
    CProgramRun run = Varno(std::move(args));
    EXPECT_EQ(run.m_nExit, 0) << "varno" << command << "\n" << run.m_strErr;
    EXPECT_EQ(run.m_strErr, "") << "varno" << command;
    return run;
}

CProgramRun CCliTest::VarnoFails(std::vector<std::string> args, int nExit) const {
    std::string command;
    for (const std::string& arg : args)
        command += " " + arg;
    CProgramRun run = Varno(std::move(args));
    EXPECT_EQ(run.m_nExit, nExit) << "varno" << command << "\n" << run.m_strErr;
    EXPECT_NE(run.m_strErr.find("varno: "), std::string::npos) << "varno" << command;
    EXPECT_EQ(run.m_strErr.find("terminate"), std::string::npos) << run.m_strErr;
    return run;
}

CProgramRun CCliTest::Desktop(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--home", m_strHome});
    return RunProgram(kDesktop, args);
}

std::string CCliTest::AddAppointment(std::vector<std::string> args) const {
    args.insert(args.begin(), "add");
    const CProgramRun run = Desktop(std::move(args));
    EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
    std::string id = run.m_strOut;
    while (!id.empty() && id.back() == '\n')
        id.pop_back();
    return id;
}

std::vector<std::string> CCliTest::ListAppointments() const {
    const CProgramRun run = Desktop({"list"});
    EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
    return Lines(run.m_strOut);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}
