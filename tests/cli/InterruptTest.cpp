// Ctrl+C in the middle of a long run: the export leaves an existing file as it was, the
// import keeps the rows it stored, and both end with exit status 130. The runs are slowed
// down with VARNO_TEST_PUMP_DELAY_US so that the signal surely arrives half way.
#include "desktop/DatebookStore.h"
#include "model/DateText.h"
#include "platform/file/OutputFile.h"
#include "tests/cli/CliTestSupport.h"

#include <gmock/gmock.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using ::testing::HasSubstr;

namespace {

constexpr int kRecords = 3000;
const CEnvironment kSlow = {"VARNO_TEST_PUMP_DELAY_US=2000"};

class CliInterrupt : public CCliTest {
protected:
    // Waits (at most 60 s) until the condition holds.
    template <class F> static bool WaitFor(F&& condition) {
        const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < tEnd) {
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    std::int64_t StoredCount() const {
        CDatebookStore store(CliHome() + "/datebook");
        return store.CountAppointments(store.CurrentUser().m_nId);
    }
};

TEST_F(CliInterrupt, ExportLeavesTheExistingFileIntact) {
    {
        CDatebookStore store(CliHome() + "/datebook");
        std::vector<CStoredAppointment> appointments(kRecords);
        for (int i = 0; i < kRecords; ++i) {
            CStoredAppointment& a = appointments[static_cast<std::size_t>(i)];
            a.m_tStart = MakeLocalTimeValue(2026, 12, 1 + i % 28, 10);
            a.m_tEnd = a.m_tStart + 3600;
            a.m_strText = u"Appointment " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
        }
        store.AddAppointments(store.CurrentUser().m_nId, appointments);
    }
    const std::string target = File("out.csv");
    WriteFileBytes(target, "the previous export\r\n");

    const pid_t pid = StartProgram(kVarno, {"--home", CliHome(), "export", target},
                                   TempPath("out.txt"), TempPath("err.txt"), kSlow);
    ASSERT_GT(pid, 0);
    // The temporary file beside the target shows that the export is writing.
    const bool bStarted = WaitFor([&] {
        for (const auto& entry : std::filesystem::directory_iterator(CliHome())) {
            const std::string name = entry.path().filename().string();
            if (name.starts_with(".out.csv.varno-") && COutputFile::IsTemporaryName(name))
                return true;
        }
        return false;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, SIGINT);
    EXPECT_TRUE(bStarted);
    EXPECT_EQ(WaitProgram(pid), 130);
    EXPECT_EQ(ReadFileBytes(target), "the previous export\r\n");
    for (const auto& entry : std::filesystem::directory_iterator(CliHome()))
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
}

TEST_F(CliInterrupt, ImportKeepsTheRowsStoredBeforeIt) {
    VarnoOk({"options", "set", "separator", ","});
    std::string csv;
    for (int i = 0; i < kRecords; ++i)
        csv += "2026-12-" + std::to_string(1 + i % 28) + ",,10:00,11:00,,Row " + std::to_string(i) +
               "\r\n";
    WriteFileBytes(File("in.csv"), csv);
    (void)StoredCount(); // the datebook exists before the run starts

    const std::string out = TempPath("out.txt");
    const std::string err = TempPath("err.txt");
    const pid_t pid =
        StartProgram(kVarno, {"--home", CliHome(), "import", File("in.csv")}, out, err, kSlow);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitFor([&] { return StoredCount() >= 20; }));
    ::kill(pid, SIGINT);
    EXPECT_EQ(WaitProgram(pid), 130);

    const std::int64_t nStored = StoredCount();
    EXPECT_GE(nStored, 20);
    EXPECT_LT(nStored, kRecords);
    EXPECT_EQ(ReadFileBytes(out), "Imported " + File("in.csv") + ": " + std::to_string(nStored) +
                                      " added, 0 updated, 0 skipped as duplicates, 0 rejected.\n");
    EXPECT_THAT(ReadFileBytes(err), HasSubstr("Interrupted: the import stopped after line"));
}

} // namespace

namespace {

// Ctrl+C while import - waits for standard input that never comes: the run ends with 130,
// imports nothing and leaves no copy of the input behind.
TEST_F(CliInterrupt, ImportOfStandardInputStopsWhileWaiting) {
    const std::string fifo = TempPath("input.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string tmp = TempPath("tmp");
    std::filesystem::create_directories(tmp);
    // A writer end is held open (read-write: opening it never waits), so that the reader
    // waits rather than sees the end.
    const int fdWriter = ::open(fifo.c_str(), O_RDWR);
    ASSERT_GE(fdWriter, 0);
    const std::string err = TempPath("err.txt");
    const pid_t pid = StartProgram(kVarno, {"--home", CliHome(), "import", "-"},
                                   TempPath("out.txt"), err, {"TMPDIR=" + tmp}, fifo);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(WaitFor([&] { return !std::filesystem::is_empty(tmp); }));
    ::kill(pid, SIGINT);
    EXPECT_EQ(WaitProgram(pid), 130);
    ::close(fdWriter);
    EXPECT_THAT(ReadFileBytes(err), HasSubstr("Interrupted"));
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
    EXPECT_EQ(StoredCount(), 0);
}

} // namespace
