// What varno writes and where: exports and rejects files through links, onto pipes and
// standard output, never over the program's own stores or the file being imported; with
// the mode of the file they replace; reading refuses devices and damaged rows.
#include "platform/file/OutputFile.h"
#include "tests/cli/CliTestSupport.h"

#include <gmock/gmock.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class CliFileWriting : public CCliTest {
protected:
    void SetUp() override {
        CCliTest::SetUp();
        m_nOldMask = ::umask(022);
    }
    void TearDown() override {
        ::umask(m_nOldMask);
        CCliTest::TearDown();
    }
    void SeedOne() const {
        AddAppointment(
            {"--text", "Dentist", "--date", "2026-12-03", "--start", "08:30", "--end", "09:15"});
    }
    static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    // No temporary file is left in the folder.
    static void ExpectNoTemporary(const std::string& folder) {
        for (const auto& entry : fs::directory_iterator(folder))
            EXPECT_FALSE(COutputFile::IsTemporaryName(entry.path().filename().string()))
                << entry.path();
    }

    mode_t m_nOldMask = 022;
};

TEST_F(CliFileWriting, ExportWritesWhereLinksPointKeepsModesAndClearsStaleTemporaries) {
    SeedOne();
    fs::create_directory(File("real"));
    const std::string real = File("real/data.csv");
    WriteFileBytes(real, "old rows\r\n");
    ::chmod(real.c_str(), 0600);
    fs::create_symlink("real/data.csv", File("link.csv"));
    fs::create_symlink("real/new.csv", File("dangling.csv"));
    // What an export killed in the middle leaves behind, by a process that has ended.
    const pid_t nDead = ::fork();
    if (nDead == 0)
        ::_exit(0);
    ::waitpid(nDead, nullptr, 0);
    const std::string stale = File("real/.data.csv.varno-" + std::to_string(nDead) + "-k1ll3d.tmp");
    WriteFileBytes(stale, "private half export");

    VarnoOk({"export", File("link.csv")});
    EXPECT_TRUE(fs::is_symlink(File("link.csv")));
    EXPECT_THAT(ReadFileBytes(real), StartsWith("\"Date\""));
    EXPECT_THAT(ReadFileBytes(real), HasSubstr("Dentist"));
    EXPECT_EQ(ModeOf(real), 0600U) << "the replaced file's mode";
    EXPECT_FALSE(fs::exists(stale));

    ::umask(027);
    VarnoOk({"export", File("dangling.csv")});
    EXPECT_TRUE(fs::is_symlink(File("dangling.csv")));
    EXPECT_THAT(ReadFileBytes(File("real/new.csv")), HasSubstr("Dentist"));
    EXPECT_EQ(ModeOf(File("real/new.csv")), 0640U) << "a new file follows the umask";
    ExpectNoTemporary(File("real"));
    ExpectNoTemporary(CliHome());
}

TEST_F(CliFileWriting, ExportWritesStandardOutputAndPipesDirectly) {
    SeedOne();
    // (/dev/stdout itself is left to the unit tests: a program that renamed over it would
    // replace the machine's link when the tests run as root.)
    for (const std::string target : {"-", "/dev/fd/1"}) {
        const CProgramRun run = Varno({"export", target});
        EXPECT_EQ(run.m_nExit, 0) << target;
        EXPECT_THAT(run.m_strOut, StartsWith("\"Date\"")) << target;
        EXPECT_THAT(run.m_strOut, HasSubstr("Dentist")) << target;
        EXPECT_THAT(run.m_strErr, HasSubstr("Exported 1 appointment to ")) << target;
    }

    // A FIFO stays a FIFO; a reader on the other end gets the calendar file.
    const std::string fifo = File("events.ics");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A second name of the FIFO frees the reader should the export never open it.
    fs::create_hard_link(fifo, File("fifo-keep"));
    std::string received;
    std::thread reader([&] {
        const int fd = ::open(fifo.c_str(), O_RDONLY);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            received.append(buffer, static_cast<std::size_t>(n));
        ::close(fd);
    });
    const CProgramRun run = Varno({"export", fifo});
    const int nRelease = ::open(File("fifo-keep").c_str(), O_WRONLY | O_NONBLOCK);
    if (nRelease >= 0)
        ::close(nRelease);
    reader.join();
    EXPECT_EQ(run.m_nExit, 0) << run.m_strErr;
    EXPECT_THAT(received, StartsWith("BEGIN:VCALENDAR"));
    EXPECT_THAT(received, HasSubstr("SUMMARY:Dentist"));
    EXPECT_TRUE(fs::is_fifo(fifo));
    ExpectNoTemporary(CliHome());
}

TEST_F(CliFileWriting, ExportRefusesTheProgramsOwnStores) {
    SeedOne();
    VarnoOk({"options", "set", "separator", ","});
    const std::string datebook = File("datebook/datebook.db");
    const std::string hive = File("registry/HKEY_CURRENT_USER.reg");
    ASSERT_TRUE(fs::exists(datebook) && fs::exists(hive));
    const std::string hiveBefore = ReadFileBytes(hive);
    fs::create_symlink(datebook, File("innocent.csv"));
    fs::create_hard_link(hive, File("hard.csv"));

    for (const std::string& target :
         {datebook, datebook + "-wal", datebook + "-shm", File("datebook/../datebook/datebook.db"),
          File("innocent.csv"), File("hard.csv"), hive, File("registry/HKEY_LOCAL_MACHINE.reg")}) {
        const CProgramRun run = VarnoFails({"export", target}, 2);
        EXPECT_THAT(run.m_strErr, HasSubstr("where the program keeps its own data")) << target;
    }
    EXPECT_EQ(ReadFileBytes(hive), hiveBefore);
    EXPECT_EQ(ListAppointments().size(), 1U);
    // The same files are no rejects file either.
    WriteFileBytes(File("in.csv"), "x\r\n");
    VarnoFails({"import", File("in.csv"), "--rejects", datebook}, 2);
    EXPECT_EQ(ListAppointments().size(), 1U);
}

TEST_F(CliFileWriting, RejectsFileIsNeverTheInputAndReplacesAnOldOneWhole) {
    VarnoOk({"options", "set", "separator", ","});
    VarnoOk({"options", "set", "fullformat", "0"});
    VarnoOk({"fields", "set", "simple", "Date,Start Time,End Time,Text"});
    const std::string input = "Date,Start Time,End Time,Text\r\n"
                              "2026-12-01,10:00,11:00,Good\r\n"
                              "2026-12-02,25:00,11:00,Bad\r\n";
    WriteFileBytes(File("in.csv"), input);
    fs::create_symlink("in.csv", File("link.csv"));
    fs::create_hard_link(File("in.csv"), File("hard.csv"));
    fs::create_directory(File("sub"));

    for (const std::string& rejects :
         {File("in.csv"), File("link.csv"), File("hard.csv"), File("sub/../in.csv")}) {
        const CProgramRun run =
            VarnoFails({"import", File("in.csv"), "--ignore-errors", "--rejects", rejects}, 2);
        EXPECT_THAT(run.m_strErr, HasSubstr("it is the file being imported")) << rejects;
    }
    EXPECT_EQ(ReadFileBytes(File("in.csv")), input);
    EXPECT_TRUE(ListAppointments().empty()) << "refused before anything was imported";

    // An old rejects file is replaced by the complete new one, keeping its mode.
    WriteFileBytes(File("rejects.csv"), "mended rows of yesterday\r\n");
    ::chmod(File("rejects.csv").c_str(), 0600);
    const CProgramRun run =
        Varno({"import", File("in.csv"), "--ignore-errors", "--rejects", File("rejects.csv")});
    EXPECT_EQ(run.m_nExit, 1);
    EXPECT_EQ(ReadFileBytes(File("rejects.csv")),
              "\"Date\",\"Start Time\",\"End Time\",\"Text\",\"Line\",\"Error\"\r\n"
              "2026-12-02,25:00,11:00,Bad,3,\"Invalid start time \"\"25:00\"\". Expected e.g. "
              "\"\"12:00\"\" (See Windows Regional Settings)\"\r\n");
    EXPECT_EQ(ModeOf(File("rejects.csv")), 0600U);
    ExpectNoTemporary(CliHome());
}

TEST_F(CliFileWriting, ImportRefusesDevicesAndStopsAtARowOfNulBytes) {
    VarnoOk({"options", "set", "separator", ","});
    VarnoOk({"fields", "set", "simple", "Date,Start Time,End Time,Text"});
    // Reading a device that never ends would never end the import: it is given half a minute.
    const std::string err = TempPath("zero.err");
    const pid_t pid = StartProgram(kVarno, {"--home", CliHome(), "import", "/dev/zero"},
                                   TempPath("zero.out"), err);
    ASSERT_GT(pid, 0);
    int nStatus = 0;
    for (int i = 0; i < 300 && ::waitpid(pid, &nStatus, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (::waitpid(pid, &nStatus, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &nStatus, 0);
        ADD_FAILURE() << "the import of /dev/zero did not end";
    } else {
        EXPECT_TRUE(WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == 2);
    }
    ASSERT_LT(fs::file_size(err), 4096U) << "one message";
    EXPECT_THAT(ReadFileBytes(err), HasSubstr("Cannot read /dev/zero: it is a device, not a file"));

    WriteFileBytes(File("zeroed.csv"), "2026-12-01,10:00,11:00,Kept\r\n" +
                                           std::string(70000, '\0') + "\r\n" +
                                           "2026-12-02,10:00,11:00,After\r\n");
    const CProgramRun damaged = Varno({"import", File("zeroed.csv")});
    EXPECT_EQ(damaged.m_nExit, 1);
    EXPECT_THAT(damaged.m_strErr, HasSubstr("The file " + File("zeroed.csv") +
                                            " is damaged: line 2 holds only "
                                            "NUL bytes."));
    EXPECT_EQ(ListAppointments().size(), 1U);
}

} // namespace
