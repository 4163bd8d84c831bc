// The price history: every fresh, plausible, live price a download brings, kept as one-minute bars
// for the last HistoryDays days and as one daily close per instrument for as long as the file is
// kept. An SQLite file in WAL mode, written in batches by a thread of its own; reads open their own
// read-only connection on the caller's thread.
#pragma once

#include <QDate>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

class QObject;

namespace kestrel {

// One fresh, plausible, live price seen in a download.
struct HistoryTick {
    QString code;  // InstrumentCode(name) of quotes/catalogue.h (EURUSD, XAUUSD, CL ...)
    double price = 0;
    qint64 quoteMs = 0;  // the quote's own time, UTC ms since the epoch
    QString source;      // "portal", "ecb", "portal+ecb", a gateway's host ...
};

// One minute of one instrument.
struct HistoryBar {
    qint64 minuteMs = 0;  // UTC ms of the minute's start (quoteMs floored to 60000)
    double open = 0, high = 0, low = 0, close = 0;
    qint64 lastTickMs = 0;
    QString source;  // the source of the last tick
};

// The last price of one instrument on one day; the day is the quote's UTC date.
struct HistoryDay {
    QDate date;
    double close = 0;
    qint64 lastTickMs = 0;
    QString source;
};

class HistoryStore {  // one per process; the file is opened on a thread of its own
public:
    // Starting: the file is being opened. On: recording. Off: HistoryDays=0, nothing is opened.
    // Locked: another program holds the file, nothing is recorded this run. Full: the disk is full,
    // recording pauses and resumes by itself. SetAside: the file was damaged, moved aside and a
    // new one begun (recording goes on). Failed: the file cannot be made or written.
    enum class State { Starting, On, Off, Locked, Full, SetAside, Failed };

    explicit HistoryStore(QString path, int historyDays = 30);
    // Never waits: what the thread is writing it finishes, with what was queued, on its own.
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // Returns at once: the ticks are queued and written with the next batch.
    void Record(QVector<HistoryTick> ticks);

    // Reads run on the caller's thread with their own read-only connection: call them off the GUI
    // thread (QtConcurrent, a QThread) or from the command-line modes. Both ends are inclusive;
    // oldest first; empty when the file is missing or unreadable.
    QVector<HistoryBar> Bars(const QString& code, qint64 fromMs, qint64 toMs) const;
    QVector<HistoryDay> Days(const QString& code, QDate from, QDate to) const;

    State CurrentState() const;  // thread-safe
    // A short line for the tray tip while the history cannot record (Locked, Full, SetAside,
    // Failed); empty otherwise.
    QString Note() const;
    // Called on the thread that made the store (queued) after each change of CurrentState().
    std::function<void()> OnStateChanged;

    // Waits until the file is open and everything recorded so far is written (or dropped);
    // false on timeout. For tests, benchmarks and the command line, never the GUI thread.
    bool WaitForWrites(int timeoutMs) const;

    const QString& Path() const { return FilePath; }

    struct Shared;

private:
    QString FilePath;
    std::shared_ptr<Shared> Data;
    QObject* Context = nullptr;  // OnStateChanged's calls are queued to its thread
};

// Reads without a store (the command line): the same as HistoryStore::Bars and Days.
QVector<HistoryBar> ReadHistoryBars(const QString& path, const QString& code, qint64 fromMs,
                                    qint64 toMs);
QVector<HistoryDay> ReadHistoryDays(const QString& path, const QString& code, QDate from, QDate to);

}  // namespace kestrel
