// Files written whole or not at all: replacing, modes and owners, links, streams, stale
// temporary files, refused targets and failed writes.
#include "platform/file/OutputFile.h"
#include "tests/support/TestEnv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class OutputFileTest : public CVarnoTest {
protected:
    void SetUp() override {
        CVarnoTest::SetUp();
        m_strFolder = Home() + "/out";
        fs::create_directory(m_strFolder);
        m_nOldMask = ::umask(022);
    }
    void TearDown() override {
        ::umask(m_nOldMask);
        CVarnoTest::TearDown();
    }
    [[nodiscard]] std::string Path(const std::string& name) const {
        return m_strFolder + "/" + name;
    }
    // The names in the folder, sorted, hidden ones included.
    [[nodiscard]] std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_strFolder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    [[nodiscard]] static mode_t ModeOf(const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    std::string m_strFolder;
    mode_t m_nOldMask = 022;
};

// A process id that no process has: a child that has ended and been reaped.
pid_t DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int nStatus = 0;
    ::waitpid(pid, &nStatus, 0);
    return pid;
}

TEST_F(OutputFileTest, ATargetIsReplacedOnlyByCommit) {
    const std::string target = Path("a.csv");
    WriteFileBytes(target, "old");
    COutputFile file;
    ASSERT_TRUE(file.Open(target));
    ASSERT_TRUE(file.Write("new content"));
    EXPECT_EQ(ReadFileBytes(target), "old") << "untouched while writing";
    // The temporary file sits beside the target, private, named with this process.
    const std::vector<std::string> during = Entries();
    ASSERT_EQ(during.size(), 2U);
    pid_t nPid = 0;
    EXPECT_TRUE(COutputFile::IsTemporaryName(during[0], &nPid)) << during[0];
    EXPECT_EQ(nPid, ::getpid());
    EXPECT_EQ(ModeOf(Path(during[0])), 0600U);
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(ReadFileBytes(target), "new content");
    EXPECT_THAT(Entries(), ElementsAre("a.csv"));
    EXPECT_FALSE(file.IsOpen());

    // Discarded, or dropped without Commit: the old file stays and nothing is left over.
    for (const bool bExplicit : {true, false}) {
        auto pDropped = std::make_unique<COutputFile>();
        ASSERT_TRUE(pDropped->Open(target));
        ASSERT_TRUE(pDropped->Write("half"));
        if (bExplicit)
            pDropped->Discard();
        else
            pDropped.reset();
        EXPECT_EQ(ReadFileBytes(target), "new content") << bExplicit;
        EXPECT_THAT(Entries(), ElementsAre("a.csv")) << bExplicit;
    }
}

TEST_F(OutputFileTest, AReplacedFileKeepsItsModeAndOwnerANewOneFollowsTheUmask) {
    struct SCase {
        const char* m_pszName;
        mode_t m_nOldMode; // 0: no old file
        mode_t m_nMask;
        mode_t m_nExpected;
    };
    const SCase cases[] = {
        {"new-022.csv", 0, 022, 0644},    {"new-077.csv", 0, 077, 0600},
        {"new-002.csv", 0, 002, 0664},    {"old-600.csv", 0600, 022, 0600},
        {"old-640.csv", 0640, 077, 0640}, {"old-666.csv", 0666, 022, 0666},
    };
    for (const SCase& c : cases) {
        const std::string target = Path(c.m_pszName);
        if (c.m_nOldMode != 0) {
            WriteFileBytes(target, "old");
            ::chmod(target.c_str(), c.m_nOldMode);
        }
        ::umask(c.m_nMask);
        EXPECT_TRUE(COutputFile::WriteWhole(target, "x")) << c.m_pszName;
        ::umask(022);
        EXPECT_EQ(ModeOf(target), c.m_nExpected) << c.m_pszName;
    }

    if (::geteuid() != 0)
        GTEST_SKIP() << "keeping another user's ownership needs root";
    const std::string owned = Path("owned.csv");
    WriteFileBytes(owned, "old");
    ASSERT_EQ(::chown(owned.c_str(), 1234, 5678), 0);
    ASSERT_TRUE(COutputFile::WriteWhole(owned, "new"));
    struct stat st {};
    ASSERT_EQ(::stat(owned.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1234U);
    EXPECT_EQ(st.st_gid, 5678U);
}

TEST_F(OutputFileTest, LinksAreFollowedAndStayLinks) {
    fs::create_directory(Path("real"));
    const std::string real = Path("real/data.csv");
    WriteFileBytes(real, "old");
    ::chmod(real.c_str(), 0600);
    fs::create_symlink("real/data.csv", Path("relative.csv"));
    fs::create_symlink(Path("relative.csv"), Path("chain.csv"));
    fs::create_symlink("real/new.csv", Path("dangling.csv"));
    fs::create_symlink("loop-b", Path("loop-a"));
    fs::create_symlink("loop-a", Path("loop-b"));

    ASSERT_TRUE(COutputFile::WriteWhole(Path("relative.csv"), "one"));
    EXPECT_EQ(ReadFileBytes(real), "one");
    ASSERT_TRUE(COutputFile::WriteWhole(Path("chain.csv"), "two"));
    EXPECT_EQ(ReadFileBytes(real), "two");
    EXPECT_TRUE(fs::is_symlink(Path("relative.csv")) && fs::is_symlink(Path("chain.csv")));
    EXPECT_EQ(ModeOf(real), 0600U) << "the mode of the file the link points to";

    ASSERT_TRUE(COutputFile::WriteWhole(Path("dangling.csv"), "created"));
    EXPECT_TRUE(fs::is_symlink(Path("dangling.csv")));
    EXPECT_EQ(ReadFileBytes(Path("real/new.csv")), "created");

    COutputFile loop;
    EXPECT_FALSE(loop.Open(Path("loop-a")));
    EXPECT_EQ(errno, ELOOP);

    // The temporary file went beside the real file: nothing is left in either folder.
    EXPECT_THAT(Entries(), ElementsAre("chain.csv", "dangling.csv", "loop-a", "loop-b", "real",
                                       "relative.csv"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("real")), fs::directory_iterator()), 2);
}

// Pipes, FIFOs and devices are written in place; nothing is renamed over them.
TEST_F(OutputFileTest, StreamsAreWrittenDirectly) {
    int pipeFds[2] = {-1, -1};
    ASSERT_EQ(::pipe(pipeFds), 0);
    for (const std::string& name :
         {"/dev/fd/" + std::to_string(pipeFds[1]), "/proc/self/fd/" + std::to_string(pipeFds[1])}) {
        COutputFile file;
        ASSERT_TRUE(file.Open(name)) << name;
        EXPECT_TRUE(file.IsStream());
        ASSERT_TRUE(file.Write("abc"));
        ASSERT_TRUE(file.Commit());
        char buffer[8] = {};
        EXPECT_EQ(::read(pipeFds[0], buffer, sizeof buffer), 3);
        EXPECT_EQ(std::string(buffer, 3), "abc");
    }
    // Standard output by its names, here a pipe for the time of the test.
    const int nSavedOut = ::dup(STDOUT_FILENO);
    ASSERT_GE(nSavedOut, 0);
    ASSERT_EQ(::dup2(pipeFds[1], STDOUT_FILENO), STDOUT_FILENO);
    for (const std::string name : {"-", "/dev/stdout"}) {
        COutputFile file;
        const bool bOk = file.Open(name) && file.IsStream() && file.Write(name) && file.Commit();
        EXPECT_TRUE(bOk) << name;
    }
    ::dup2(nSavedOut, STDOUT_FILENO);
    ::close(nSavedOut);
    char stdoutBytes[32] = {};
    EXPECT_EQ(::read(pipeFds[0], stdoutBytes, sizeof stdoutBytes), 12);
    EXPECT_EQ(std::string(stdoutBytes, 12), "-/dev/stdout");
    EXPECT_TRUE(fs::is_symlink("/dev/stdout") || fs::is_character_file("/dev/stdout"));
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);

    // A FIFO, through a link too: a reader in a child process takes what is written.
    const std::string fifo = Path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("fifo", Path("fifo-link"));
    const std::string copy = Path("copy.txt");
    const pid_t reader = ::fork();
    if (reader == 0) {
        const int in = ::open(fifo.c_str(), O_RDONLY);
        const int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        char buffer[64];
        ssize_t n = 0;
        while ((n = ::read(in, buffer, sizeof buffer)) > 0)
            (void)!::write(out, buffer, static_cast<std::size_t>(n));
        ::_exit(0);
    }
    EXPECT_TRUE(COutputFile::WriteWhole(Path("fifo-link"), "through the fifo"));
    int nStatus = 0;
    ::waitpid(reader, &nStatus, 0);
    EXPECT_EQ(ReadFileBytes(copy), "through the fifo");
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_TRUE(fs::is_symlink(Path("fifo-link")));

    // A full device reports the failure at the write.
    COutputFile full;
    ASSERT_TRUE(full.Open("/dev/full"));
    EXPECT_TRUE(full.IsStream());
    EXPECT_FALSE(full.Write(std::string(100000, 'x')));
    EXPECT_EQ(errno, ENOSPC);
    full.Discard();
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(OutputFileTest, TemporaryFilesOfEndedProcessesAreRemovedAtTheNextWrite) {
    const pid_t nDead = DeadPid();
    const std::string stale = ".data.csv.varno-" + std::to_string(nDead) + "-abc123.tmp";
    const std::string live = ".data.csv.varno-" + std::to_string(::getppid()) + "-abc123.tmp";
    const std::string lookalike = ".data.csv.varno-" + std::to_string(nDead) + "-abc.tmp";
    for (const std::string& name : {stale, live, lookalike})
        WriteFileBytes(Path(name), "private rows");
    fs::create_directory(Path("sub"));
    WriteFileBytes(Path("sub/" + stale), "another folder");

    ASSERT_TRUE(COutputFile::WriteWhole(Path("other.csv"), "x"));
    std::vector<std::string> expected = {live, lookalike, "other.csv", "sub"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(), expected);
    EXPECT_TRUE(fs::exists(Path("sub/" + stale)));
}

TEST_F(OutputFileTest, TemporaryNamesAreRecognised) {
    struct SCase {
        const char* m_pszName;
        bool m_bOurs;
        pid_t m_nPid;
    };
    const SCase cases[] = {
        {".a.csv.varno-123-abc123.tmp", true, 123}, {".x.varno-1.varno-77-zzzzzz.tmp", true, 77},
        {"a.csv.varno-123-abc123.tmp", false, 0}, // not hidden
        {".a.csv.varno-123-abc12.tmp", false, 0}, // five letters
        {".a.csv.varno--abc123.tmp", false, 0},     {".a.csv.varno-0-abc123.tmp", false, 0},
        {".a.csv.varno-12x-abc123.tmp", false, 0},  {".a.csv.varno-123-abc123.tm", false, 0},
        {".varno-123-abc123.tmp", false, 0}, // no target name
    };
    for (const SCase& c : cases) {
        pid_t nPid = 0;
        EXPECT_EQ(COutputFile::IsTemporaryName(c.m_pszName, &nPid), c.m_bOurs) << c.m_pszName;
        EXPECT_EQ(nPid, c.m_nPid) << c.m_pszName;
    }
    // A long target name still gives a valid temporary name.
    const std::string longName = Path(std::string(250, 'n') + ".csv");
    COutputFile file;
    ASSERT_TRUE(file.Open(longName));
    file.Discard();
}

TEST_F(OutputFileTest, RefusedTargetsChangeNothing) {
    COutputFile file;
    EXPECT_FALSE(file.Open(m_strFolder));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_FALSE(file.Open(Path("missing/x.csv")));
    EXPECT_EQ(errno, ENOENT);

    // Another writer holds the file.
    const std::string target = Path("held.csv");
    WriteFileBytes(target, "keep");
    const int fd = ::open(target.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0);
    EXPECT_FALSE(file.Open(target));
    EXPECT_EQ(errno, EWOULDBLOCK);
    ::close(fd);
    EXPECT_EQ(ReadFileBytes(target), "keep");
    EXPECT_THAT(Entries(), ElementsAre("held.csv"));

    // A second writer waits for none: it is refused while the first one writes.
    COutputFile first;
    COutputFile second;
    ASSERT_TRUE(first.Open(target));
    EXPECT_FALSE(second.Open(target));
    first.Discard();
    EXPECT_TRUE(second.Open(target));
}

// A write the file system refuses half way (here the file size limit) leaves the old file
// and no temporary file.
TEST_F(OutputFileTest, AFailedWriteLeavesTheOldFile) {
    const std::string target = Path("big.csv");
    WriteFileBytes(target, "the old rows");
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    COutputFile file;
    const bool bOpened = file.Open(target);
    const bool bWritten = bOpened && file.Write(std::string(10000, 'x'));
    const int nError = errno;
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
    ASSERT_TRUE(bOpened);
    EXPECT_FALSE(bWritten);
    EXPECT_EQ(nError, EFBIG);
    file.Discard();
    EXPECT_EQ(ReadFileBytes(target), "the old rows");
    EXPECT_THAT(Entries(), ElementsAre("big.csv"));
    EXPECT_FALSE(file.Commit()) << "nothing left to commit";
}

} // namespace
