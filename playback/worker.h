// The background thread that starts sounds, so that the host's thread never waits for a
// sound file to be opened. Jobs run one at a time in the order they were posted; the
// thread polls its list every 400 ms when it is idle. Of the jobs posted as "latest" only
// the last of an id waits in the list: a new one takes the place of the one waiting.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/kernel_handle.h"
#include "base/owned_list.h"

namespace tunelark {

constexpr int PlayStreamJobId = 100;
constexpr int QuitJobId = -3;

enum WorkerState : int {
    WorkerNotRunning = -2,
    WorkerRunning = 1,
    WorkerEnding = 2,
};

constexpr DWORD WorkerPollMs = 400;
// A latest job that took the place of one still waiting comes in a burst: it runs once
// this long has passed without a successor, or as soon as another job waits behind it.
constexpr DWORD BurstQuietMs = 100;
// How long the start-up waits for the thread to report that it runs. A thread that
// cannot start (for instance while the loader lock is held) must not hang the host.
constexpr DWORD WorkerStartWaitMs = 5000;

// The callback's result is not read by the worker.
using JobCallback = int (*)(void* data, int value);

class PlaybackWorker;

struct WorkerJob {
    PlaybackWorker* owner = nullptr;
    std::unique_ptr<WorkerJob> next;
    int id = 0;
    void* data = nullptr;
    int value = 0;
    // The job's own copy of its data when it was posted as text; data then points here.
    std::string text;
    DWORD postedAt = 0;  // GetTickCount
    bool inBurst = false;
};

struct JobHandler {
    PlaybackWorker* owner = nullptr;
    std::unique_ptr<JobHandler> next;
    int id = 0;
    JobCallback callback = nullptr;
};

// A handler that the worker's thread registers itself as its first step.
struct StartHandler {
    int id = 0;
    JobCallback callback = nullptr;
};

class PlaybackWorker {
public:
    // Starts the thread and returns without waiting for it. The thread links
    // `startHandlers` in before it reports running, so they serve the first job however
    // late the thread starts.
    explicit PlaybackWorker(std::vector<StartHandler> startHandlers = {});
    ~PlaybackWorker();
    PlaybackWorker(const PlaybackWorker&) = delete;
    PlaybackWorker& operator=(const PlaybackWorker&) = delete;

    // Both answer 1 when the record was linked in and 0 when the worker is not running
    // and refused it.
    int RegisterHandler(int id, JobCallback callback);
    int PostJob(int id, void* data, int value);
    // As PostJob, but the job keeps its own copy of the text and hands the callback a
    // pointer to that copy, so the caller's text may go away while the job waits.
    int PostTextJob(int id, std::string text, int value);
    // As PostTextJob, for a job that a later one of its id makes pointless (a sound that
    // the next would cut off): the waiting job of that id, if any, is dropped, so a burst
    // of them keeps one in the list, and this one goes to the end of the list. One that
    // took another's place waits for a successor as BurstQuietMs says.
    int PostLatestTextJob(int id, std::string text, int value);

    int CountJobs() const;
    // The callback of the first handler for the id, or null.
    JobCallback FindHandler(int id) const;

    int State() const { return state_.load(); }
    HANDLE Thread() const { return thread_.get(); }

    // Polls every 400 ms until the thread runs or maxWaitMs has passed; true when it runs.
    bool WaitUntilRunning(DWORD maxWaitMs) const;

    // Queues the quit job behind every waiting job, waits for the thread to end and
    // closes the mutexes. False only when a thread that never got to run still has not
    // ended after a bounded wait; the worker must then not be freed.
    bool Shutdown();

private:
    static unsigned __stdcall ThreadMain(void* self);
    void Run();
    void SetState(int state);
    int Append(std::unique_ptr<WorkerJob> job, bool latest);
    std::unique_ptr<WorkerJob> TakeHead();
    // Unlinks the waiting jobs of the id, under the list mutex; true when there were any.
    bool DropWaiting(int id);
    // How long the job first in the list must still wait for a successor; 0 to run it.
    DWORD BurstWaitLeft() const;

    const std::vector<StartHandler> startHandlers_;
    KernelHandle thread_;
    OwnedList<WorkerJob, &WorkerJob::next> jobs_;
    OwnedList<JobHandler, &JobHandler::next> handlers_;
    // Written only under stateMutex_; read without it by the start-up's poll.
    std::atomic<int> state_{WorkerNotRunning};
    KernelHandle stateMutex_;
    KernelHandle takeMutex_;
    KernelHandle listMutex_;
    // Set whenever a job is linked in, so that a job waiting out a burst sees a successor.
    KernelHandle jobPosted_;
};

// The one worker of the plug-in, or null outside Initialize..Uninitialize.
PlaybackWorker* Worker();

// Creates the playback mutex and the worker with the play job, and waits (at most
// maxWaitMs) until the thread runs. False when it did not come up in time: play
// requests are then refused, and say so, until it does; from then on they play.
bool StartPlaybackWorker(DWORD maxWaitMs = WorkerStartWaitMs);
// Ends and frees the worker, closes whatever stream is still open and closes the
// playback mutex. Safe to call when nothing was started.
void StopPlaybackWorker();

}  // namespace tunelark
