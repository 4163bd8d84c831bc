#include "net/workerthread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QObject>
#include <QScopeGuard>
#include <QTimer>
#include <array>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

#include "net/logging.h"

namespace kestrel {

namespace {

constexpr std::array<QThread::Priority, 7> kPriorities = {
    QThread::IdlePriority,         QThread::LowestPriority, QThread::LowPriority,
    QThread::NormalPriority,       QThread::HighPriority,   QThread::HighestPriority,
    QThread::TimeCriticalPriority,
};

// A synchronised call travels as an event: Qt deletes it in the GUI thread after delivery, so
// nothing of the call is released by the worker while the GUI thread may still hold it.
class SyncEvent : public QEvent {
public:
    explicit SyncEvent(std::function<void()> call) : QEvent(QEvent::User), Call(std::move(call)) {}
    std::function<void()> Call;
};

// The dispatcher and the number of workers that keep it alive. A worker counts until the last
// of its thread, its object and its queued calls is gone, so a stopped job that is still
// running can always post to the dispatcher. Workers post their calls while they hold the lock.
std::mutex gThreadLock;
QObject* gDispatcher = nullptr;
int gWorkerCount = 0;

class ThreadDispatcher : public QObject {
public:
    bool event(QEvent* e) override {
        // Qt hands the event over under a lock of its own; taking the poster's lock as well
        // makes the hand-over visible to the race checker, which cannot see into Qt.
        { std::lock_guard handOver(gThreadLock); }
        if (e->type() != QEvent::User)
            return QObject::event(e);
        static_cast<SyncEvent*>(e)->Call();
        return true;
    }
};

void AddWorker() {
    std::lock_guard lock(gThreadLock);
    if (gWorkerCount++ == 0 && gDispatcher == nullptr) {
        gDispatcher = new ThreadDispatcher;
        if (QCoreApplication* app = QCoreApplication::instance())
            gDispatcher->moveToThread(app->thread());
    }
}

// A worker's state may be freed on its own thread, or by Qt while it drops undelivered events
// under a lock of its own, so leaving only counts down; the GUI thread releases the dispatcher
// at its own times (ReleaseUnusedDispatcher).
void RemoveWorker() {
    std::lock_guard lock(gThreadLock);
    --gWorkerCount;
}

// The dispatcher goes later, from the event loop: a synchronised call of the last worker may
// still be queued for it, and a component created meanwhile keeps it. GUI thread only.
void ReleaseUnusedDispatcher() {
    std::lock_guard lock(gThreadLock);
    if (gWorkerCount != 0 || gDispatcher == nullptr)
        return;
    QMetaObject::invokeMethod(
        gDispatcher,
        [] {
            std::lock_guard release(gThreadLock);
            if (gWorkerCount == 0 && gDispatcher != nullptr) {
                gDispatcher->deleteLater();
                gDispatcher = nullptr;
            }
        },
        Qt::QueuedConnection);
}

QObject* Dispatcher() {
    std::lock_guard lock(gThreadLock);
    return gDispatcher;
}

void PostToDispatcher(QEvent* event) {
    std::lock_guard lock(gThreadLock);
    QCoreApplication::postEvent(gDispatcher, event);
}

}  // namespace

QThread::Priority ToOSPriority(TThreadPriority priority) {
    const auto index = static_cast<size_t>(priority);
    return index < kPriorities.size() ? kPriorities[index] : QThread::NormalPriority;
}

TThreadPriority FromOSPriority(QThread::Priority priority) {
    TThreadPriority result = TThreadPriority::tpNormal;
    for (size_t i = 0; i < kPriorities.size(); ++i)
        if (kPriorities[i] == priority)
            result = static_cast<TThreadPriority>(i);
    return result;
}

// What a worker's thread shares with the GUI thread; it outlives the worker object for as long
// as a synchronised call of it is still queued.
struct TEventThread::State {
    State() { AddWorker(); }
    ~State() { RemoveWorker(); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    bool IsStopped() {
        std::lock_guard lock(Lock);
        return Stopped;
    }

    std::atomic<bool> Executing{false};
    std::atomic<bool> Terminated{false};
    std::mutex Lock;
    std::condition_variable Wake;
    bool Stopped = false;    // guarded by Lock
    bool Delivered = false;  // GUI thread only: the job's completion has run
};

namespace {

thread_local std::shared_ptr<TEventThread::State> tCurrentJob;

struct SyncOutcome {
    bool Done = false;
    bool Ran = false;
};

// Queues the method for the GUI thread, where it runs unless the job has been stopped by then.
// A worker that waits for it passes an outcome, filled in under the job's lock.
void PostToGui(const std::shared_ptr<TEventThread::State>& job, std::function<void()> method,
               const std::shared_ptr<SyncOutcome>& outcome) {
    PostToDispatcher(new SyncEvent([job, outcome, method = std::move(method)] {
        const bool stopped = job->IsStopped();
        // An exception of a handler must not unwind the event loop; the job goes on.
        if (!stopped) {
            try {
                method();
            } catch (const std::exception& e) {
                qCWarning(lcNet) << "a call handed to the GUI thread failed:" << e.what();
            } catch (...) {
                qCWarning(lcNet) << "a call handed to the GUI thread failed";
            }
        }
        if (!outcome)
            return;
        {
            std::lock_guard lock(job->Lock);
            outcome->Done = true;
            outcome->Ran = !stopped;
        }
        job->Wake.notify_all();
    }));
}

// The worker's thread. It lets go of its job (and whatever the job holds) on its own thread, so
// that a stopped job never hands its clean-up to the GUI thread.
class JobThread : public QThread {
public:
    explicit JobThread(std::function<void()> body) : Body(std::move(body)) {}

protected:
    void run() override {
        const std::function<void()> body = std::exchange(Body, nullptr);
        body();
    }

private:
    std::function<void()> Body;
};

// Threads of stopped jobs that are still running. Nobody waits for them: they are deleted once
// they have ended. At exit the process gives them a moment to end, so that a job is not cut
// off halfway through its clean-up; one that is stuck is left to the end of the process.
// GUI thread only.
class Graveyard {
public:
    ~Graveyard() {
        const QDeadlineTimer deadline(250);
        for (std::unique_ptr<QThread>& thread : Threads)
            if (!thread->wait(deadline))
                (void)thread.release();
    }

    void Add(std::unique_ptr<QThread> thread) {
        Sweep();
        if (!thread->isFinished())
            Threads.push_back(std::move(thread));
    }

    int Count() {
        Sweep();
        return int(Threads.size());
    }

private:
    void Sweep() {
        std::erase_if(Threads, [](const std::unique_ptr<QThread>& t) { return t->isFinished(); });
        ReleaseUnusedDispatcher();
    }

    std::vector<std::unique_ptr<QThread>> Threads;
};

Graveyard& Abandoned() {
    static Graveyard graveyard;
    return graveyard;
}

}  // namespace

TEventThread::TEventThread(TCustomThread* owner)
    : Owner(owner), Shared(std::make_shared<State>()) {}

TEventThread::~TEventThread() {
    const auto release = qScopeGuard([this] {
        Shared.reset();
        Abandoned().Count();  // also releases an unused dispatcher
    });
    if (!Thread)
        return;
    {
        std::lock_guard lock(Shared->Lock);
        Shared->Stopped = true;
    }
    Shared->Terminated = true;
    Shared->Wake.notify_all();
    Abandoned().Add(std::move(Thread));
}

bool TEventThread::Executing() const {
    return Shared->Executing.load();
}

TThreadPriority TEventThread::Priority() const {
    return FromOSPriority(Thread ? Thread->priority() : OSPriority);
}

void TEventThread::SetPriority(TThreadPriority priority) {
    OSPriority = ToOSPriority(priority);
    if (Thread && Thread->isRunning())
        Thread->setPriority(OSPriority);
}

bool TEventThread::Delivered() const {
    return Shared->Delivered;
}

void TEventThread::Resume() {
    if (Started)
        return;
    Started = true;
    // Busy from this moment: a caller asking right after Start must not see an idle component
    // while the thread is still being scheduled.
    Shared->Executing = true;
    // The thread gets its own copies of the hooks: a setter called meanwhile touches only this
    // object, and a hook may free this worker (through Stop) while it runs.
    Thread = std::make_unique<JobThread>([shared = Shared, owner = Owner, execute = OnExecute,
                                          except = OnException, finish = OnFinish] {
        tCurrentJob = shared;
        shared->Executing = true;
        if (execute && !shared->Terminated) {
            try {
                execute(owner);
            } catch (...) {
                if (except)
                    TCustomThread::Synchronize([except, owner] { except(owner); });
            }
        }
        shared->Executing = false;
        // The thread has nothing left to do, so it queues the completion and ends without
        // waiting for it: a waiting Start is woken by the completion itself, and the next Start
        // finds the thread gone instead of having to wake it and wait for its end.
        if (!shared->IsStopped()) {
            PostToGui(
                shared,
                [shared, finish, except, owner] {
                    if (finish) {
                        try {
                            finish(owner);
                        } catch (...) {
                            if (except)
                                except(owner);
                        }
                    }
                    shared->Delivered = true;
                },
                nullptr);
        }
        tCurrentJob.reset();
    });
    Thread->start(OSPriority);
}

bool TCustomThread::Synchronize(const std::function<void()>& Method) {
    const std::shared_ptr<TEventThread::State> job = tCurrentJob;
    if (!job) {
        Method();
        return true;
    }
    if (job->IsStopped())
        return false;
    auto outcome = std::make_shared<SyncOutcome>();
    PostToGui(job, Method, outcome);
    std::unique_lock lock(job->Lock);
    job->Wake.wait(lock, [&] { return outcome->Done || job->Stopped; });
    return outcome->Ran && !job->Stopped;
}

bool TCustomThread::Terminated() {
    return tCurrentJob && tCurrentJob->Terminated.load();
}

const std::atomic<bool>* TCustomThread::TerminatedFlag() {
    return tCurrentJob ? &tCurrentJob->Terminated : nullptr;
}

bool TCustomThread::DispatcherExists() {
    return Dispatcher() != nullptr;
}

int TCustomThread::AbandonedThreads() {
    return Abandoned().Count();
}

TCustomThread::TCustomThread() : Worker(std::make_unique<TEventThread>(this)) {}

TCustomThread::~TCustomThread() {
    Destroying = true;
    Worker.reset();
}

void TCustomThread::SetOnExecute(TThreadNotify hook) {
    Worker->OnExecute = std::move(hook);
}
void TCustomThread::SetOnException(TThreadNotify hook) {
    Worker->OnException = std::move(hook);
}
void TCustomThread::SetOnFinish(TThreadNotify hook) {
    Worker->OnFinish = std::move(hook);
}

void TCustomThread::Stop() {
    auto fresh = std::make_unique<TEventThread>(this);
    fresh->SetPriority(Worker->Priority());
    fresh->OnExecute = Worker->OnExecute;
    fresh->OnException = Worker->OnException;
    fresh->OnFinish = Worker->OnFinish;
    std::swap(Worker, fresh);
    ++Generation;
    fresh.reset();  // abandons the stopped job
}

bool TCustomThread::Start() {
    Stop();
    Worker->Resume();
    if (!WaitThread)
        return true;

    // The limit bounds a quiet spell of the GUI thread, not the job: it starts afresh after every
    // batch of events. The synchronised calls and the completion are among those events.
    const std::weak_ptr<int> alive = LifeToken;
    const quint64 generation = Generation;
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early.
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&timedOut] { timedOut = true; });
    while (!Worker->Delivered()) {
        if (WaitTimeout > 0)
            timer.start(WaitTimeout);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        // A handler may have freed this component, or stopped or restarted its job.
        if (alive.expired() || Generation != generation || Destroying ||
            QCoreApplication::closingDown())
            return true;
        if (timedOut && !Worker->Delivered()) {
            Stop();
            if (OnWaitTimeout)
                OnWaitTimeout(this);
            return false;
        }
    }
    return true;
}

}  // namespace kestrel
