// A component that runs one job at a time on a background thread and hands everything the user
// interface must see back to the GUI thread (Qt's main thread), one call at a time.
//
// Stopping never waits: Stop raises the worker's terminate flag, releases any synchronised call
// the worker is waiting in and abandons the thread, which ends on its own once its job returns.
// A job should poll Terminated() (or hand TerminatedFlag() to whatever blocks) so that it ends
// soon and lets go of what it holds; the transfers of the HTTP client see it within a few tens
// of milliseconds. A stopped job must own what it uses: its component may be gone already.
// Nothing a stopped job hands over reaches the GUI thread any more.
#pragma once

#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

namespace kestrel {

enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// The QThread priority a level runs at, and the level a QThread priority reads back as: the last
// matching table entry, tpNormal for a priority the table does not hold.
QThread::Priority ToOSPriority(TThreadPriority priority);
TThreadPriority FromOSPriority(QThread::Priority priority);

class TCustomThread;
using TThreadNotify = std::function<void(TCustomThread* Sender)>;

// One worker: one OS thread, created suspended, run at most once.
class TEventThread {
public:
    explicit TEventThread(TCustomThread* Owner);
    ~TEventThread();  // stops a running job and leaves its thread to end on its own
    TEventThread(const TEventThread&) = delete;
    TEventThread& operator=(const TEventThread&) = delete;

    bool Suspended() const { return !Started; }
    bool Executing() const;
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);
    void Resume();

    // The job has returned and its completion has run in the GUI thread (the thread itself may
    // still be on its way out).
    bool Delivered() const;

    TThreadNotify OnExecute, OnException, OnFinish;

    struct State;  // shared with the thread and its queued calls

private:
    friend class TCustomThread;

    TCustomThread* Owner;
    std::shared_ptr<State> Shared;
    std::unique_ptr<QThread> Thread;  // from Resume on
    QThread::Priority OSPriority = QThread::NormalPriority;
    bool Started = false;
};

class TCustomThread {
public:
    TCustomThread();
    ~TCustomThread();  // stops a running job; no event of it is delivered
    TCustomThread(const TCustomThread&) = delete;
    TCustomThread& operator=(const TCustomThread&) = delete;

    // Runs the job on a fresh worker (a running one is stopped first). Without WaitThread it
    // returns true at once; with it, true once the job and its completion have run, false when
    // the GUI thread stayed quiet for WaitTimeout ms (the job is stopped and OnWaitTimeout runs).
    bool Start();
    // Ends the current job and puts a fresh suspended worker with the same priority and hooks
    // in its place.
    void Stop();
    bool Busy() const { return Worker->Executing(); }
    bool Suspended() const { return Worker->Suspended(); }

    TThreadPriority ThreadPriority() const { return Worker->Priority(); }
    void SetThreadPriority(TThreadPriority priority) { Worker->SetPriority(priority); }

    void SetOnExecute(TThreadNotify hook);
    void SetOnException(TThreadNotify hook);
    void SetOnFinish(TThreadNotify hook);

    bool WaitThread = false;
    int WaitTimeout = 0;  // ms; 0 = no limit
    TThreadNotify OnWaitTimeout;

    // Called from a job: runs the method in the GUI thread and returns once it has run. Returns
    // false when it was not run because the job has been stopped; whatever the method was to
    // hand back must then be ignored. The method must own what it uses (capture by value), since
    // a stopped job returns from here while the method may still be on its way. From the GUI
    // thread itself the method simply runs.
    static bool Synchronize(const std::function<void()>& Method);
    // The terminate flag of the job running on the calling thread (false outside a job).
    static bool Terminated();
    // The same flag for code that polls it on its own (a transfer); valid while the job runs.
    static const std::atomic<bool>* TerminatedFlag();

    // The process-wide object in the GUI thread that runs the synchronised calls. It exists
    // while any worker exists and is released from the event loop after the last one is gone.
    static bool DispatcherExists();
    // Threads of stopped jobs that have not ended yet (GUI thread).
    static int AbandonedThreads();

private:
    std::unique_ptr<TEventThread> Worker;
    quint64 Generation = 0;  // counts Stop calls, so a wait notices a replaced worker
    std::shared_ptr<int> LifeToken = std::make_shared<int>();
    bool Destroying = false;
};

}  // namespace kestrel
