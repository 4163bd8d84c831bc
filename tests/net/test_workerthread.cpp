#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <stdexcept>

#include "net/workerthread.h"

using namespace kestrel;

namespace {

// Runs until the worker is told to stop, or for at most `ms`.
void Linger(int ms) {
    QElapsedTimer t;
    t.start();
    while (!TCustomThread::Terminated() && t.elapsed() < ms)
        QThread::msleep(5);
}

// Lets the event loop deliver whatever is queued for a while.
void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

class TestWorkerThread : public QObject {
    Q_OBJECT

private slots:
    void jobRunsOnWorkerAndEventsInGuiThread();
    void waitThreadReturnsAfterCompletion();
    void waitTimeoutCountsQuietSpells_data();
    void waitTimeoutCountsQuietSpells();
    void waitIsNeverEarly();
    void startWhileExecutingDropsTheOldJob();
    void freeingMidJobDeliversNothing();
    void stopFromInsideSynchronisedCall();
    void exceptionOfJobReachesOnExceptionThenOnFinish();
    void exceptionOfCompletionReachesOnException();
    void dispatcherFollowsWorkerCount();
    void priorityRoundTrip_data();
    void priorityRoundTrip();
    void unknownOSPriorityReadsNormal();
};

void TestWorkerThread::jobRunsOnWorkerAndEventsInGuiThread() {
    TCustomThread thread;
    QVERIFY(thread.Suspended());
    QThread* gui = QThread::currentThread();
    std::atomic<QThread*> jobThread{nullptr};
    QThread* syncThread = nullptr;
    QThread* finishThread = nullptr;
    bool busyInFinish = true;
    std::atomic<bool> senderRight{false}, ran{false};
    thread.SetOnExecute([&](TCustomThread* sender) {
        senderRight = sender == &thread;
        jobThread = QThread::currentThread();
        ran = TCustomThread::Synchronize([&] { syncThread = QThread::currentThread(); });
    });
    thread.SetOnFinish([&](TCustomThread* sender) {
        finishThread = QThread::currentThread();
        busyInFinish = sender->Busy();
    });

    QVERIFY(thread.Start());
    QVERIFY(!thread.Suspended());
    QTRY_VERIFY(finishThread != nullptr);
    QVERIFY(jobThread.load() != nullptr && jobThread.load() != gui);
    QVERIFY(senderRight.load());
    QVERIFY(ran.load());
    QCOMPARE(syncThread, gui);
    QCOMPARE(finishThread, gui);
    QVERIFY(!busyInFinish);
}

void TestWorkerThread::waitThreadReturnsAfterCompletion() {
    TCustomThread thread;
    thread.WaitThread = true;
    int synced = 0, finished = 0;
    thread.SetOnExecute([&](TCustomThread*) {
        QThread::msleep(50);
        TCustomThread::Synchronize([&] { ++synced; });
    });
    thread.SetOnFinish([&](TCustomThread*) { ++finished; });
    QVERIFY(thread.Start());
    QCOMPARE(synced, 1);
    QCOMPARE(finished, 1);
    QVERIFY(!thread.Busy());
}

void TestWorkerThread::waitTimeoutCountsQuietSpells_data() {
    QTest::addColumn<bool>("ticking");
    QTest::addColumn<bool>("result");
    QTest::newRow("event every 500 ms") << true << true;
    QTest::newRow("quiet GUI thread") << false << false;
}

// The limit bounds a quiet spell of the GUI thread, not the job.
void TestWorkerThread::waitTimeoutCountsQuietSpells() {
    QFETCH(bool, ticking);
    QFETCH(bool, result);
    TCustomThread thread;
    thread.WaitThread = true;
    thread.WaitTimeout = 1000;
    std::atomic<bool> stopped{false};
    thread.SetOnExecute([&](TCustomThread*) {
        Linger(2200);
        stopped = TCustomThread::Terminated();
    });
    int finished = 0, timeouts = 0;
    thread.SetOnFinish([&](TCustomThread*) { ++finished; });
    thread.OnWaitTimeout = [&](TCustomThread* sender) {
        QCOMPARE(sender, &thread);
        ++timeouts;
    };
    QTimer ticker;
    ticker.setInterval(500);
    if (ticking)
        ticker.start();

    QCOMPARE(thread.Start(), result);
    QCOMPARE(timeouts, result ? 0 : 1);
    QCOMPARE(finished, result ? 1 : 0);
    // A stopped job is not waited for: it sees the flag on its own, a moment later.
    QTRY_COMPARE(stopped.load(), !result);
    Pump(50);
    QCOMPARE(finished, result ? 1 : 0);
}

// A quiet spell ends no sooner than WaitTimeout, whatever the phase of the clock it starts at.
void TestWorkerThread::waitIsNeverEarly() {
    TCustomThread thread;
    thread.WaitThread = true;
    thread.WaitTimeout = 300;
    thread.SetOnExecute([](TCustomThread*) { Linger(5000); });
    for (int round = 0; round < 8; ++round) {
        QThread::msleep(7);
        QElapsedTimer t;
        t.start();
        QVERIFY(!thread.Start());
        QVERIFY2(t.elapsed() >= 299, qPrintable(QString::number(t.elapsed())));
    }
}

void TestWorkerThread::startWhileExecutingDropsTheOldJob() {
    TCustomThread thread;
    std::atomic<int> runs{0};
    std::atomic<bool> firstSawStop{false};
    int synced = 0, finished = 0;
    thread.SetOnExecute([&](TCustomThread*) {
        if (++runs == 1) {
            Linger(5000);
            firstSawStop = TCustomThread::Terminated();
        }
        // Of the stopped job this never runs; of the second it does.
        TCustomThread::Synchronize([&] { ++synced; });
    });
    thread.SetOnFinish([&](TCustomThread*) { ++finished; });
    QVERIFY(thread.Start());
    QVERIFY(thread.Busy());  // at once, before the thread has been scheduled
    QTRY_COMPARE(runs.load(), 1);

    QElapsedTimer t;
    t.start();
    QVERIFY(thread.Start());
    // Not a speed test: only proves the stop did not wait for the job's own end.
    QVERIFY(t.elapsed() < 2000);
    QTRY_VERIFY(firstSawStop.load());
    QTRY_COMPARE(finished, 1);
    Pump(50);
    QCOMPARE(runs.load(), 2);
    QCOMPARE(synced, 1);
    QCOMPARE(finished, 1);
}

void TestWorkerThread::freeingMidJobDeliversNothing() {
    int events = 0;
    std::atomic<bool> running{false};
    {
        TCustomThread thread;
        thread.SetOnExecute([&](TCustomThread*) {
            running = true;
            Linger(5000);
            TCustomThread::Synchronize([&] { ++events; });
        });
        thread.SetOnFinish([&](TCustomThread*) { ++events; });
        thread.SetOnException([&](TCustomThread*) { ++events; });
        thread.Start();
        QTRY_VERIFY(running.load());
    }
    Pump(50);
    QCOMPARE(events, 0);
}

// A handler that stops its own job while the worker waits for it must not deadlock.
void TestWorkerThread::stopFromInsideSynchronisedCall() {
    TCustomThread thread;
    std::atomic<bool> returned{false}, ran{true};
    int finished = 0;
    thread.SetOnExecute([&](TCustomThread* sender) {
        ran = TCustomThread::Synchronize([sender] { sender->Stop(); });
        returned = true;
    });
    thread.SetOnFinish([&](TCustomThread*) { ++finished; });
    thread.Start();
    QTRY_VERIFY(returned.load());
    QVERIFY(!ran.load());
    Pump(50);
    QCOMPARE(finished, 0);
    QVERIFY(thread.Suspended());
}

void TestWorkerThread::exceptionOfJobReachesOnExceptionThenOnFinish() {
    TCustomThread thread;
    QStringList order;
    thread.SetOnExecute([](TCustomThread*) { throw std::runtime_error("job failed"); });
    thread.SetOnException([&](TCustomThread*) { order << "exception"; });
    thread.SetOnFinish([&](TCustomThread*) { order << "finish"; });
    thread.WaitThread = true;
    QVERIFY(thread.Start());
    QCOMPARE(order, QStringList({"exception", "finish"}));
}

void TestWorkerThread::exceptionOfCompletionReachesOnException() {
    TCustomThread thread;
    QStringList order;
    thread.SetOnExecute([](TCustomThread*) {});
    thread.SetOnException([&](TCustomThread*) { order << "exception"; });
    thread.SetOnFinish([&](TCustomThread*) {
        order << "finish";
        throw std::runtime_error("handler failed");
    });
    thread.WaitThread = true;
    QVERIFY(thread.Start());
    QCOMPARE(order, QStringList({"finish", "exception"}));
}

void TestWorkerThread::dispatcherFollowsWorkerCount() {
    QTRY_COMPARE(TCustomThread::AbandonedThreads(), 0);  // jobs stopped by earlier tests
    Pump(20);
    QVERIFY(!TCustomThread::DispatcherExists());
    {
        TCustomThread a;
        QVERIFY(TCustomThread::DispatcherExists());
        { TCustomThread b; }
        Pump(20);
        QVERIFY(TCustomThread::DispatcherExists());
    }
    // Released from the event loop, not at once.
    QVERIFY(TCustomThread::DispatcherExists());
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!TCustomThread::DispatcherExists());

    TCustomThread again;
    QVERIFY(TCustomThread::DispatcherExists());
    bool synced = false;
    again.SetOnExecute([&](TCustomThread*) { TCustomThread::Synchronize([&] { synced = true; }); });
    again.WaitThread = true;
    QVERIFY(again.Start());
    QVERIFY(synced);
}

void TestWorkerThread::priorityRoundTrip_data() {
    QTest::addColumn<TThreadPriority>("priority");
    QTest::newRow("idle") << TThreadPriority::tpIdle;
    QTest::newRow("lowest") << TThreadPriority::tpLowest;
    QTest::newRow("lower") << TThreadPriority::tpLower;
    QTest::newRow("normal") << TThreadPriority::tpNormal;
    QTest::newRow("higher") << TThreadPriority::tpHigher;
    QTest::newRow("highest") << TThreadPriority::tpHighest;
    QTest::newRow("time critical") << TThreadPriority::tpTimeCritical;
}

// Set on the suspended worker, kept by the worker that Start puts in its place, and read back
// from the running thread.
void TestWorkerThread::priorityRoundTrip() {
    QFETCH(TThreadPriority, priority);
    TCustomThread thread;
    thread.SetThreadPriority(priority);
    QCOMPARE(thread.ThreadPriority(), priority);
    std::atomic<bool> running{false};
    thread.SetOnExecute([&](TCustomThread*) {
        running = true;
        Linger(5000);
    });
    thread.Start();
    QTRY_VERIFY(running.load());
    QCOMPARE(thread.ThreadPriority(), priority);
    thread.Stop();
    QCOMPARE(thread.ThreadPriority(), priority);
}

void TestWorkerThread::unknownOSPriorityReadsNormal() {
    QCOMPARE(FromOSPriority(QThread::InheritPriority), TThreadPriority::tpNormal);
    QCOMPARE(ToOSPriority(static_cast<TThreadPriority>(99)), QThread::NormalPriority);
}

QTEST_GUILESS_MAIN(TestWorkerThread)
#include "test_workerthread.moc"
