// The playback worker thread and its job list.
#include "playback/worker.h"

#include <process.h>

#include <utility>

namespace tunelark {

PlaybackWorker::PlaybackWorker(std::vector<StartHandler> startHandlers)
    : startHandlers_(std::move(startHandlers)),
      stateMutex_(MakeMutex()),
      takeMutex_(MakeMutex()),
      listMutex_(MakeMutex()),
      jobPosted_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
    thread_.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadMain, this, 0, nullptr)));
}

PlaybackWorker::~PlaybackWorker() {
    // Freeing the worker under a thread that may still reach it would be worse than
    // waiting for that thread, however long it takes.
    if (!Shutdown()) WaitForSingleObject(thread_.get(), INFINITE);
    jobs_.Clear();
    handlers_.Clear();
}

void PlaybackWorker::SetState(int state) {
    MutexLock lock(stateMutex_.get());
    state_ = state;
}

namespace {

std::unique_ptr<JobHandler> MakeHandler(PlaybackWorker* owner, int id, JobCallback callback) {
    auto handler = std::make_unique<JobHandler>();
    handler->owner = owner;
    handler->id = id;
    handler->callback = callback;
    return handler;
}

}  // namespace

int PlaybackWorker::RegisterHandler(int id, JobCallback callback) {
    auto handler = MakeHandler(this, id, callback);
    {
        MutexLock lock(stateMutex_.get());
        if (state_ != WorkerRunning) return 0;
    }
    MutexLock lock(listMutex_.get());
    handlers_.Append(std::move(handler));
    return 1;
}

bool PlaybackWorker::DropWaiting(int id) {
    bool dropped = false;
    for (WorkerJob* waiting = jobs_.Head(); waiting;) {
        WorkerJob* next = waiting->next.get();
        if (waiting->id == id) {
            jobs_.Unlink(waiting);
            dropped = true;
        }
        waiting = next;
    }
    return dropped;
}

int PlaybackWorker::Append(std::unique_ptr<WorkerJob> job, bool latest) {
    {
        MutexLock lock(stateMutex_.get());
        if (state_ != WorkerRunning) return 0;
    }
    {
        MutexLock lock(listMutex_.get());
        job->postedAt = GetTickCount();
        if (latest) job->inBurst = DropWaiting(job->id);
        jobs_.Append(std::move(job));
    }
    SetEvent(jobPosted_.get());
    return 1;
}

int PlaybackWorker::PostJob(int id, void* data, int value) {
    auto job = std::make_unique<WorkerJob>();
    job->owner = this;
    job->id = id;
    job->data = data;
    job->value = value;
    return Append(std::move(job), false);
}

namespace {

std::unique_ptr<WorkerJob> MakeTextJob(PlaybackWorker* owner, int id, std::string text, int value) {
    auto job = std::make_unique<WorkerJob>();
    job->owner = owner;
    job->id = id;
    job->value = value;
    job->text = std::move(text);
    job->data = job->text.data();
    return job;
}

}  // namespace

int PlaybackWorker::PostTextJob(int id, std::string text, int value) {
    return Append(MakeTextJob(this, id, std::move(text), value), false);
}

int PlaybackWorker::PostLatestTextJob(int id, std::string text, int value) {
    return Append(MakeTextJob(this, id, std::move(text), value), true);
}

int PlaybackWorker::CountJobs() const {
    MutexLock lock(listMutex_.get());
    int count = 0;
    for (const WorkerJob* job = jobs_.Head(); job; job = job->next.get()) ++count;
    return count;
}

JobCallback PlaybackWorker::FindHandler(int id) const {
    MutexLock lock(listMutex_.get());
    for (const JobHandler* handler = handlers_.Head(); handler; handler = handler->next.get())
        if (handler->id == id) return handler->callback;
    return nullptr;
}

DWORD PlaybackWorker::BurstWaitLeft() const {
    MutexLock lock(listMutex_.get());
    const WorkerJob* head = jobs_.Head();
    if (!head || !head->inBurst || head->next) return 0;
    const DWORD waited = GetTickCount() - head->postedAt;
    return waited < BurstQuietMs ? BurstQuietMs - waited : 0;
}

std::unique_ptr<WorkerJob> PlaybackWorker::TakeHead() {
    MutexLock take(takeMutex_.get());
    MutexLock list(listMutex_.get());
    return jobs_.TakeHead();
}

unsigned __stdcall PlaybackWorker::ThreadMain(void* self) {
    static_cast<PlaybackWorker*>(self)->Run();
    return 0;
}

void PlaybackWorker::Run() {
    {
        // Here rather than by the starter, which may have stopped waiting long ago; and
        // before the running state, so no job is accepted ahead of its handler.
        MutexLock lock(listMutex_.get());
        for (const StartHandler& h : startHandlers_)
            handlers_.Append(MakeHandler(this, h.id, h.callback));
    }
    SetState(WorkerRunning);
    std::unique_ptr<WorkerJob> quit;
    for (;;) {
        if (CountJobs() == 0) {
            Sleep(WorkerPollMs);
            continue;
        }
        // A job of a burst waits for the next of its id to take its place: only the last
        // of the burst is opened.
        if (const DWORD left = BurstWaitLeft()) {
            WaitForSingleObject(jobPosted_.get(), left);
            continue;
        }
        std::unique_ptr<WorkerJob> job = TakeHead();
        if (!job) continue;
        if (job->id == QuitJobId) {
            quit = std::move(job);
            break;
        }
        if (JobCallback callback = FindHandler(job->id)) callback(job->data, job->value);
    }
    quit.reset();
    SetState(WorkerEnding);
    while (TakeHead()) {
    }
    MutexLock lock(listMutex_.get());
    handlers_.Clear();
}

bool PlaybackWorker::WaitUntilRunning(DWORD maxWaitMs) const {
    DWORD waited = 0;
    while (state_ != WorkerRunning) {
        if (!thread_ || waited >= maxWaitMs) return false;
        Sleep(WorkerPollMs);
        waited += WorkerPollMs;
    }
    return true;
}

bool PlaybackWorker::Shutdown() {
    if (thread_) {
        if (!PostJob(QuitJobId, nullptr, 0)) {
            // The thread has not reached its loop yet: give it the start-up's bound to
            // get there, then ask it again to quit.
            DWORD waited = 0;
            while (WaitForSingleObject(thread_.get(), WorkerPollMs) == WAIT_TIMEOUT) {
                if (PostJob(QuitJobId, nullptr, 0)) break;
                waited += WorkerPollMs;
                if (waited >= WorkerStartWaitMs) return false;
            }
        }
        WaitForSingleObject(thread_.get(), INFINITE);
    }
    stateMutex_.reset();
    takeMutex_.reset();
    listMutex_.reset();
    state_ = WorkerNotRunning;
    thread_.reset();
    jobs_.Clear();
    handlers_.Clear();
    return true;
}

}  // namespace tunelark
