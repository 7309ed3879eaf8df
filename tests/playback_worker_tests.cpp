#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/loader_lock.h"
#include "support/process_census.h"
#include "base/tick_count64.h"
#include "playback/worker.h"

using namespace tunelark;

namespace {

using Clock = std::chrono::steady_clock;

// What the callbacks saw, in the order they saw it. Callbacks are plain functions, so
// the record is global; every test starts with a fresh one.
struct Journal {
    std::mutex lock;
    std::vector<std::string> events;
    Clock::time_point lastEnd;
    long maxGapMs = 0;

    void Add(const std::string& e) {
        std::lock_guard<std::mutex> g(lock);
        events.push_back(e);
    }
    std::vector<std::string> Events() {
        std::lock_guard<std::mutex> g(lock);
        return events;
    }
    void Reset() {
        std::lock_guard<std::mutex> g(lock);
        events.clear();
        maxGapMs = 0;
        lastEnd = {};
    }
};

Journal journal;
HANDLE gate = nullptr;  // the Blocking job waits on it, so a test decides when it ends

// Records start and end with the value, and the pause since the previous job ended.
int Recording(void*, int value) {
    const auto now = Clock::now();
    {
        std::lock_guard<std::mutex> g(journal.lock);
        if (journal.lastEnd != Clock::time_point{}) {
            long gap = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(now - journal.lastEnd).count());
            if (gap > journal.maxGapMs) journal.maxGapMs = gap;
        }
    }
    journal.Add("start " + std::to_string(value));
    Sleep(30);
    journal.Add("end " + std::to_string(value));
    std::lock_guard<std::mutex> g(journal.lock);
    journal.lastEnd = Clock::now();
    return 1;
}

int Blocking(void*, int value) {
    journal.Add("blocked " + std::to_string(value));
    WaitForSingleObject(gate, 10000);
    return 1;
}

int TextReader(void* data, int) {
    journal.Add(data ? static_cast<const char*>(data) : "(null)");
    return 1;
}

int SecondHandler(void*, int value) {
    journal.Add("second " + std::to_string(value));
    return 1;
}

constexpr int RecordId = 7;
constexpr int BlockId = 8;
constexpr int TextId = 9;

class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        journal.Reset();
        gate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_NE(gate, nullptr);
    }
    void TearDown() override {
        SetEvent(gate);
        CloseHandle(gate);
    }

    // Waits until the journal holds n events, or 5 s.
    static bool WaitForEvents(size_t n) {
        for (int i = 0; i < 250; ++i) {
            if (journal.Events().size() >= n) return true;
            Sleep(20);
        }
        return false;
    }

    // `held`: the worker is then kept in a Blocking job until the gate opens, so that what
    // is posted next queues up behind it.
    static void StartWithHandlers(PlaybackWorker& worker, bool held = false) {
        ASSERT_TRUE(worker.WaitUntilRunning(WorkerStartWaitMs));
        ASSERT_EQ(worker.RegisterHandler(RecordId, &Recording), 1);
        ASSERT_EQ(worker.RegisterHandler(BlockId, &Blocking), 1);
        ASSERT_EQ(worker.RegisterHandler(TextId, &TextReader), 1);
        if (!held) return;
        ASSERT_EQ(worker.PostJob(BlockId, nullptr, 0), 1);
        ASSERT_TRUE(WaitForEvents(1));
    }
};

TEST_F(WorkerTest, RunsOnceStartedAndAnswersWithoutWaitingWhenAlreadyRunning) {
    PlaybackWorker worker;
    EXPECT_NE(worker.Thread(), nullptr);
    ASSERT_TRUE(worker.WaitUntilRunning(WorkerStartWaitMs));
    EXPECT_EQ(worker.State(), WorkerRunning);

    const auto before = Clock::now();
    EXPECT_TRUE(worker.WaitUntilRunning(WorkerStartWaitMs));
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(100));
    EXPECT_EQ(worker.CountJobs(), 0);
}

// A job whose id has no handler is dropped without a pause: those behind it still run.
TEST_F(WorkerTest, JobsRunInPostingOrderWithoutThePollPauseAndOnesWithoutHandlerAreDropped) {
    PlaybackWorker worker;
    ASSERT_NO_FATAL_FAILURE(StartWithHandlers(worker, true));
    ASSERT_EQ(worker.PostJob(RecordId, nullptr, 1), 1);
    ASSERT_EQ(worker.PostJob(4242, nullptr, 99), 1);
    for (int i = 2; i <= 3; ++i) ASSERT_EQ(worker.PostJob(RecordId, nullptr, i), 1);
    EXPECT_EQ(worker.CountJobs(), 4);
    SetEvent(gate);

    ASSERT_TRUE(WaitForEvents(7));
    const std::vector<std::string> expected = {"blocked 0", "start 1", "end 1", "start 2",
                                               "end 2",     "start 3", "end 3"};
    EXPECT_EQ(journal.Events(), expected);
    EXPECT_LT(journal.maxGapMs, 300) << "a queued job must follow the previous one at once";
    EXPECT_EQ(worker.CountJobs(), 0);
}

TEST_F(WorkerTest, AJobPostedToAnIdleWorkerStartsWithinOnePollPeriod) {
    PlaybackWorker worker;
    StartWithHandlers(worker);
    Sleep(500);  // let the thread settle into its idle sleep
    const auto posted = Clock::now();
    ASSERT_EQ(worker.PostJob(RecordId, nullptr, 1), 1);
    ASSERT_TRUE(WaitForEvents(1));
    EXPECT_LT(Clock::now() - posted, std::chrono::milliseconds(WorkerPollMs + 300));
}

TEST_F(WorkerTest, FindHandlerAnswersTheFirstRegisteredForAnId) {
    PlaybackWorker worker;
    StartWithHandlers(worker);
    ASSERT_EQ(worker.RegisterHandler(RecordId, &SecondHandler), 1);
    EXPECT_EQ(worker.FindHandler(RecordId), &Recording);
    EXPECT_EQ(worker.FindHandler(TextId), &TextReader);
    EXPECT_EQ(worker.FindHandler(12345), nullptr);
    EXPECT_EQ(worker.FindHandler(QuitJobId), nullptr);

    ASSERT_EQ(worker.PostJob(RecordId, nullptr, 5), 1);
    ASSERT_TRUE(WaitForEvents(2));
    Sleep(100);
    const std::vector<std::string> expected = {"start 5", "end 5"};
    EXPECT_EQ(journal.Events(), expected) << "only the first handler of an id runs";
}

TEST_F(WorkerTest, ShutDownRunsQueuedJobsFirstThenRefusesEverything) {
    {
        PlaybackWorker worker;
        ASSERT_NO_FATAL_FAILURE(StartWithHandlers(worker, true));
        for (int i = 1; i <= 3; ++i) ASSERT_EQ(worker.PostJob(RecordId, nullptr, i), 1);
        // The shut-down blocks until the thread ends; open the gate from elsewhere.
        std::thread opener([] { Sleep(200); SetEvent(gate); });
        EXPECT_TRUE(worker.Shutdown());
        opener.join();

        const std::vector<std::string> expected = {"blocked 0", "start 1", "end 1", "start 2",
                                                   "end 2",     "start 3", "end 3"};
        EXPECT_EQ(journal.Events(), expected);
        EXPECT_EQ(worker.State(), WorkerNotRunning);
        EXPECT_EQ(worker.Thread(), nullptr);

        EXPECT_EQ(worker.PostJob(RecordId, nullptr, 9), 0);
        EXPECT_EQ(worker.RegisterHandler(TextId, &TextReader), 0);
        EXPECT_EQ(worker.CountJobs(), 0);
        EXPECT_EQ(worker.FindHandler(RecordId), nullptr);
        EXPECT_TRUE(worker.Shutdown()) << "a second shut-down is harmless";
    }
    Sleep(100);
    EXPECT_EQ(journal.Events().size(), 7u) << "the refused job never ran";
}

TEST_F(WorkerTest, ATextJobCarriesItsOwnCopyOfTheText) {
    PlaybackWorker worker;
    ASSERT_NO_FATAL_FAILURE(StartWithHandlers(worker, true));
    {
        std::string path = "C:\\sounds\\first.wav";
        ASSERT_EQ(worker.PostTextJob(TextId, path, 0), 1);
        path.assign(path.size(), 'X');  // the caller's text changes, then goes away
    }
    auto owned = std::make_unique<std::string>(std::string(300, 'p'));
    ASSERT_EQ(worker.PostTextJob(TextId, *owned, 0), 1);
    owned.reset();
    SetEvent(gate);
    ASSERT_TRUE(WaitForEvents(3));
    const std::vector<std::string> expected = {"blocked 0", "C:\\sounds\\first.wav", std::string(300, 'p')};
    EXPECT_EQ(journal.Events(), expected);
}

// Of a burst of latest jobs the last waits, where it was posted; the others keep their order.
TEST_F(WorkerTest, ALatestJobTakesThePlaceOfTheOneOfItsIdWaiting) {
    PlaybackWorker worker;
    ASSERT_NO_FATAL_FAILURE(StartWithHandlers(worker, true));
    ASSERT_EQ(worker.PostLatestTextJob(TextId, "first", 0), 1);
    ASSERT_EQ(worker.PostJob(RecordId, nullptr, 1), 1);
    for (int i = 0; i < 1000; ++i) worker.PostLatestTextJob(TextId, "burst " + std::to_string(i), 0);
    ASSERT_EQ(worker.PostJob(RecordId, nullptr, 2), 1);
    EXPECT_EQ(worker.CountJobs(), 3);
    SetEvent(gate);
    ASSERT_TRUE(WaitForEvents(6));
    EXPECT_EQ(journal.Events(), (std::vector<std::string>{"blocked 0", "start 1", "end 1", "burst 999", "start 2", "end 2"}));
}

TEST_F(WorkerTest, StartingAndEndingWorkersLeaksNoHandle) {
    {  // the first worker may make the run time open handles it keeps
        PlaybackWorker warmUp;
        ASSERT_TRUE(warmUp.WaitUntilRunning(WorkerStartWaitMs));
    }
    const testsupport::ProcessCensus before = testsupport::TakeCensus();
    ASSERT_GT(before.handles, 0) << "the handle list could not be read";
    for (int i = 0; i < 10; ++i) {
        PlaybackWorker worker;
        ASSERT_TRUE(worker.WaitUntilRunning(WorkerStartWaitMs));
        ASSERT_EQ(worker.RegisterHandler(RecordId, &Recording), 1);
        worker.PostJob(RecordId, nullptr, i);
        worker.PostJob(4242, nullptr, i);
    }
    EXPECT_FALSE(testsupport::Grew(before, testsupport::SettledCensus(before))) << "handles left behind";
    EXPECT_EQ(journal.Events().size(), 20u) << "each worker ran its queued job before ending";
}

// A thread cannot start while the loader lock is held, as when a host would start the
// plug-in from inside a DLL notification. The start-up must give up after its bound and
// the shut-down must still end the thread once it could start.
TEST_F(WorkerTest, AThreadThatCannotStartDoesNotHangTheStartUp) {
    testsupport::LoaderLockHold loaderLock;
    if (!loaderLock.held()) GTEST_SKIP() << "no loader lock to hold";
    auto worker = std::make_unique<PlaybackWorker>();
    const auto before = Clock::now();
    const bool running = worker->WaitUntilRunning(1200);
    const auto waited = Clock::now() - before;
    const int stateWhileLocked = worker->State();
    const int postedWhileLocked = worker->PostJob(RecordId, nullptr, 1);
    loaderLock.Release();

    if (stateWhileLocked == WorkerRunning)
        GTEST_SKIP() << "threads start under the loader lock here";
    EXPECT_FALSE(running);
    EXPECT_GE(waited, std::chrono::milliseconds(1100));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    EXPECT_EQ(postedWhileLocked, 0) << "jobs are refused until it runs";

    // Released, the thread comes up late; the shut-down still ends it.
    EXPECT_TRUE(worker->Shutdown());
    EXPECT_EQ(worker->State(), WorkerNotRunning);
}

extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64();  // not declared for XP

// Our import slot answers GetTickCount64 (this program links it, as the plug-in does);
// where the system lacks the function, GetTickCount is widened.
TEST(TickCount64Test, TheSlotAnswersAndTheWideningCarriesTheWrap) {
    const DWORD low = static_cast<DWORD>(GetTickCount64());
    EXPECT_LT(GetTickCount() - low, 1000u);
    const ULONGLONG cases[][3] = {{0xFFFFFFF0, 0x10, 0x100000010},         // wrapped
                                  {0x300000010, 0x5, 0x300000010},         // older: no step back
                                  {0x1FFFFFFF0, 0x7FFFFFEF, 0x27FFFFFEF},  // the longest step
                                  {0x1FFFFFFF0, 0x7FFFFFF0, 0x1FFFFFFF0}};
    for (const auto& c : cases) EXPECT_EQ(WidenTickCount(c[0], static_cast<DWORD>(c[1])), c[2]) << c[1];
}

}  // namespace
