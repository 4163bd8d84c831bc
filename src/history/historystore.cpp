#include "history/historystore.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "history/logging.h"

namespace kestrel {

namespace {

constexpr qint64 kMinuteMs = 60 * 1000;
constexpr qint64 kDayMs = 24 * 60 * kMinuteMs;
// What waits while the file cannot be written (a lock held for a moment); beyond it the oldest
// ticks go.
constexpr qsizetype kMaxPending = 50000;
// A full disk is tried again after this long.
constexpr auto kFullRetry = std::chrono::seconds(60);
// Old bars are removed at most this often (by the ticks' time).
constexpr qint64 kPruneEveryMs = 60 * kMinuteMs;
// Another program's lock is waited for this long.
constexpr int kBusyTimeoutMs = 1000;
constexpr int kMaxNameLength = 64;
// A quote dated further ahead of the clock than this is not believed.
constexpr qint64 kMaxAheadMs = kDayMs;

// Minute numbers and day numbers since the epoch, floored also before it.
qint64 FloorDiv(qint64 value, qint64 unit) {
    return value >= 0 ? value / unit : -((-value + unit - 1) / unit);
}

QString ErrorText(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

// One prepared statement, finalised with it.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        Result = sqlite3_prepare_v2(db, sql, -1, &S, nullptr);
    }
    ~Statement() { sqlite3_finalize(S); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    int Result = SQLITE_OK;
    sqlite3_stmt* S = nullptr;

    void Bind(int i, qint64 v) { sqlite3_bind_int64(S, i, v); }
    void Bind(int i, double v) { sqlite3_bind_double(S, i, v); }
    void Bind(int i, const QString& v) {
        const QByteArray utf8 = v.toUtf8();
        sqlite3_bind_text(S, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    // One step, reset for the next use; SQLITE_DONE or SQLITE_ROW when it went well.
    int Run() {
        const int rc = sqlite3_step(S);
        sqlite3_reset(S);
        return rc;
    }
};

int Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

bool IsDamage(int rc) {
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}
bool IsLock(int rc) {
    rc &= 0xff;
    return rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}
bool IsFull(int rc) {
    return (rc & 0xff) == SQLITE_FULL;
}

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS codes(id INTEGER PRIMARY KEY, code TEXT NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS sources(id INTEGER PRIMARY KEY, source TEXT NOT NULL UNIQUE);
CREATE TABLE IF NOT EXISTS bars(
  code INTEGER NOT NULL, minute INTEGER NOT NULL,
  open REAL NOT NULL, high REAL NOT NULL, low REAL NOT NULL, close REAL NOT NULL,
  first INTEGER NOT NULL, last INTEGER NOT NULL, source INTEGER NOT NULL,
  PRIMARY KEY(code, minute)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS days(
  code INTEGER NOT NULL, day INTEGER NOT NULL,
  close REAL NOT NULL, last INTEGER NOT NULL, source INTEGER NOT NULL,
  PRIMARY KEY(code, day)) WITHOUT ROWID;
PRAGMA user_version = 1;
)";

// A bar keeps its minute as a minute number and the times of its first and last tick as
// milliseconds into the minute, which keeps a row at about sixty bytes. Ticks may come late or
// twice: the earliest gives the open, the latest the close; of two at the same time the later
// seen, a source's correction.
constexpr const char* kUpsertBar = R"(
INSERT INTO bars(code, minute, open, high, low, close, first, last, source)
VALUES(?1, ?2, ?3, ?3, ?3, ?3, ?4, ?4, ?5)
ON CONFLICT(code, minute) DO UPDATE SET
  open = CASE WHEN excluded.first < first THEN excluded.open ELSE open END,
  high = max(high, excluded.high),
  low = min(low, excluded.low),
  close = CASE WHEN excluded.last >= last THEN excluded.close ELSE close END,
  source = CASE WHEN excluded.last >= last THEN excluded.source ELSE source END,
  first = min(first, excluded.first),
  last = max(last, excluded.last)
)";

constexpr const char* kUpsertDay = R"(
INSERT INTO days(code, day, close, last, source) VALUES(?1, ?2, ?3, ?4, ?5)
ON CONFLICT(code, day) DO UPDATE SET
  close = excluded.close, last = excluded.last, source = excluded.source
WHERE excluded.last >= last
)";

bool Plausible(const HistoryTick& tick, qint64 nowMs) {
    return !tick.code.isEmpty() && tick.code.size() <= kMaxNameLength &&
           tick.source.size() <= kMaxNameLength && std::isfinite(tick.price) && tick.price > 0 &&
           tick.quoteMs > 0 && tick.quoteMs - nowMs <= kMaxAheadMs;
}

// A read-only connection of the caller's thread; null when the file is not there or unreadable.
struct Reader {
    explicit Reader(const QString& path) {
        if (!QFileInfo::exists(path))
            return;
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &Db, SQLITE_OPEN_READONLY,
                            nullptr) != SQLITE_OK) {
            qCWarning(lcHistory) << "cannot read" << path << ErrorText(Db);
            sqlite3_close(Db);
            Db = nullptr;
            return;
        }
        sqlite3_busy_timeout(Db, kBusyTimeoutMs);
    }
    ~Reader() { sqlite3_close(Db); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    sqlite3* Db = nullptr;
};

// Calls the store's OnStateChanged on the thread that made the store. The thread asks for it by
// name, so that what crosses over is Qt's own queued call alone.
class StateReceiver : public QObject {
    Q_OBJECT
public:
    explicit StateReceiver(HistoryStore* owner) : Owner(owner) {}
    Q_INVOKABLE void Changed() {
        if (Owner->OnStateChanged)
            Owner->OnStateChanged();
    }

private:
    HistoryStore* Owner;
};

}  // namespace

// What the store and its thread share; the thread keeps it alive after the store is gone.
struct HistoryStore::Shared {
    QString Path;
    int Days = 30;

    mutable std::mutex Mutex;
    std::condition_variable Wake;          // the thread: work, or the store is gone
    mutable std::condition_variable Idle;  // WaitForWrites
    std::deque<HistoryTick> Pending;
    bool Writing = false;
    bool Stop = false;
    State Now = State::Starting;
    QObject* Receiver = nullptr;

    // The thread's own, touched by it alone.
    sqlite3* Db = nullptr;
    std::map<QString, qint64> CodeIds, SourceIds;
    qint64 LastPruneMs = 0;
    std::chrono::steady_clock::time_point FullSince;

    void Run();
    bool Open(bool fresh);
    void Close();
    bool SetAside();
    int Write(const std::vector<HistoryTick>& ticks);
    int Id(std::map<QString, qint64>& ids, const QByteArray& table, const QByteArray& column,
           const QString& name, qint64* id);
    int Prune(qint64 nowMs);
    void Enter(State state);
};

void HistoryStore::Shared::Enter(State state) {
    std::lock_guard lock(Mutex);
    if (Now == state)
        return;
    Now = state;
    if (Receiver)
        QMetaObject::invokeMethod(Receiver, "Changed", Qt::QueuedConnection);
}

void HistoryStore::Shared::Close() {
    sqlite3_close(Db);
    Db = nullptr;
    CodeIds.clear();
    SourceIds.clear();
}

// Opens the file and makes its tables. False when it cannot be used; the state says why.
bool HistoryStore::Shared::Open(bool fresh) {
    const QFileInfo info(Path);
    if (!QDir().mkpath(info.absolutePath())) {
        qCWarning(lcHistory) << "cannot make the folder of" << Path;
        Enter(State::Failed);
        return false;
    }
    int rc =
        sqlite3_open_v2(QFile::encodeName(Path).constData(), &Db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(Db, kBusyTimeoutMs);
        sqlite3_extended_result_codes(Db, 1);
        rc = Exec(Db, "PRAGMA journal_mode=WAL");
    }
    // A damaged file may pass the first look; the quick check reads every page.
    if (rc == SQLITE_OK && !fresh) {
        Statement check(Db, "PRAGMA quick_check");
        rc = check.Result;
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(check.S);
            if (rc == SQLITE_ROW) {
                const char* text = reinterpret_cast<const char*>(sqlite3_column_text(check.S, 0));
                rc = text && qstrcmp(text, "ok") == 0 ? SQLITE_OK : SQLITE_CORRUPT;
            }
        }
    }
    if (rc == SQLITE_OK)
        rc = Exec(Db, "PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=4194304");
    if (rc == SQLITE_OK)
        rc = Exec(Db, kSchema);
    if (rc == SQLITE_OK)
        return true;

    const QString why = ErrorText(Db);
    Close();
    if (IsLock(rc)) {
        qCWarning(lcHistory) << Path << "is held by another program; no history this run";
        Enter(State::Locked);
    } else if (IsDamage(rc) && !fresh) {
        return SetAside();
    } else if (IsFull(rc)) {
        if (Now != State::Full)
            qCWarning(lcHistory) << "the disk of" << Path << "is full; the history waits for room";
        Enter(State::Full);
    } else {
        qCWarning(lcHistory) << "cannot open" << Path << why;
        Enter(State::Failed);
    }
    return false;
}

// Moves a damaged file (and its log) aside under the date and begins a new one.
bool HistoryStore::Shared::SetAside() {
    Close();
    const QString stem = Path + QStringLiteral(".corrupt-") +
                         QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QString target = stem;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = stem + QLatin1Char('-') + QString::number(n);
    if (!QFile::rename(Path, target)) {
        qCWarning(lcHistory) << "cannot move the damaged" << Path << "aside";
        Enter(State::Failed);
        return false;
    }
    QFile::rename(Path + QStringLiteral("-wal"), target + QStringLiteral("-wal"));
    QFile::remove(Path + QStringLiteral("-shm"));
    qCWarning(lcHistory) << "the damaged" << Path << "was moved to" << target
                         << "and a new one begun";
    if (!Open(true))
        return false;
    Enter(State::SetAside);
    return true;
}

int HistoryStore::Shared::Id(std::map<QString, qint64>& ids, const QByteArray& table,
                             const QByteArray& column, const QString& name, qint64* id) {
    if (const auto it = ids.find(name); it != ids.end()) {
        *id = it->second;
        return SQLITE_OK;
    }
    const QByteArray insert = "INSERT OR IGNORE INTO " + table + "(" + column + ") VALUES(?1)";
    const QByteArray select = "SELECT id FROM " + table + " WHERE " + column + "=?1";
    Statement add(Db, insert.constData());
    if (add.Result != SQLITE_OK)
        return add.Result;
    add.Bind(1, name);
    if (const int rc = add.Run(); rc != SQLITE_DONE)
        return rc;
    Statement get(Db, select.constData());
    if (get.Result != SQLITE_OK)
        return get.Result;
    get.Bind(1, name);
    const int rc = sqlite3_step(get.S);
    if (rc != SQLITE_ROW)
        return rc == SQLITE_DONE ? SQLITE_ERROR : rc;
    *id = sqlite3_column_int64(get.S, 0);
    ids[name] = *id;
    return SQLITE_OK;
}

// Removes the bars older than the days kept, code by code along the key.
int HistoryStore::Shared::Prune(qint64 nowMs) {
    const qint64 cutoff = FloorDiv(nowMs - qint64(Days) * kDayMs, kMinuteMs);
    Statement codes(Db, "SELECT id FROM codes");
    Statement drop(Db, "DELETE FROM bars WHERE code=?1 AND minute<?2");
    if (codes.Result != SQLITE_OK)
        return codes.Result;
    if (drop.Result != SQLITE_OK)
        return drop.Result;
    int rc;
    while ((rc = sqlite3_step(codes.S)) == SQLITE_ROW) {
        drop.Bind(1, qint64(sqlite3_column_int64(codes.S, 0)));
        drop.Bind(2, cutoff);
        if (const int done = drop.Run(); done != SQLITE_DONE)
            return done;
    }
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// One batch in one transaction; SQLITE_OK, or the error that undid it.
int HistoryStore::Shared::Write(const std::vector<HistoryTick>& ticks) {
    int rc = Exec(Db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return rc;
    Statement bar(Db, kUpsertBar);
    Statement day(Db, kUpsertDay);
    rc = bar.Result != SQLITE_OK ? bar.Result : day.Result;
    qint64 newest = 0;
    for (const HistoryTick& tick : ticks) {
        if (rc != SQLITE_OK)
            break;
        qint64 code = 0, source = 0;
        rc = Id(CodeIds, "codes", "code", tick.code, &code);
        if (rc == SQLITE_OK)
            rc = Id(SourceIds, "sources", "source", tick.source, &source);
        if (rc != SQLITE_OK)
            break;
        const qint64 minute = FloorDiv(tick.quoteMs, kMinuteMs);
        const qint64 offset = tick.quoteMs - minute * kMinuteMs;
        bar.Bind(1, code);
        bar.Bind(2, minute);
        bar.Bind(3, tick.price);
        bar.Bind(4, offset);
        bar.Bind(5, source);
        if (const int done = bar.Run(); done != SQLITE_DONE) {
            rc = done;
            break;
        }
        day.Bind(1, code);
        day.Bind(2, FloorDiv(tick.quoteMs, kDayMs));
        day.Bind(3, tick.price);
        day.Bind(4, tick.quoteMs);
        day.Bind(5, source);
        if (const int done = day.Run(); done != SQLITE_DONE) {
            rc = done;
            break;
        }
        newest = qMax(newest, tick.quoteMs);
    }
    // The ticks' own time decides what is old, though never one ahead of the clock.
    const qint64 nowMs = qMin(newest, QDateTime::currentMSecsSinceEpoch());
    if (rc == SQLITE_OK && nowMs - LastPruneMs >= kPruneEveryMs) {
        rc = Prune(nowMs);
        if (rc == SQLITE_OK)
            LastPruneMs = nowMs;
    }
    if (rc == SQLITE_OK)
        rc = Exec(Db, "COMMIT");
    if (rc != SQLITE_OK) {
        Exec(Db, "ROLLBACK");
        // What was learnt in the undone transaction is not in the file.
        CodeIds.clear();
        SourceIds.clear();
    }
    return rc;
}

void HistoryStore::Shared::Run() {
    // A disk full from the start is tried again now and then; what comes meanwhile is dropped.
    while (!Open(false)) {
        std::unique_lock lock(Mutex);
        const auto until = std::chrono::steady_clock::now() + kFullRetry;
        do {
            Pending.clear();
            Idle.notify_all();
        } while (Now == State::Full && !Stop &&
                 Wake.wait_until(lock, until, [this] { return Stop || !Pending.empty(); }));
        if (Now != State::Full || Stop) {
            Pending.clear();
            Idle.notify_all();
            return;
        }
    }
    Enter(Now == State::SetAside ? State::SetAside : State::On);
    bool setAside = Now == State::SetAside;
    std::unique_lock lock(Mutex);
    Idle.notify_all();
    for (;;) {
        Wake.wait(lock, [this] { return Stop || !Pending.empty(); });
        if (Pending.empty())
            break;
        if (Now == State::Full && std::chrono::steady_clock::now() - FullSince < kFullRetry) {
            Pending.clear();
            Idle.notify_all();
            continue;
        }
        std::vector<HistoryTick> batch(std::make_move_iterator(Pending.begin()),
                                       std::make_move_iterator(Pending.end()));
        Pending.clear();
        Writing = true;
        lock.unlock();

        int rc = Write(batch);
        if (IsDamage(rc)) {
            setAside = SetAside();
            rc = setAside ? Write(batch) : rc;
        }
        if (rc == SQLITE_OK) {
            if (Now == State::Full)
                qCInfo(lcHistory) << "the disk has room again; the history goes on";
            Enter(setAside ? State::SetAside : State::On);
        } else if (IsFull(rc)) {
            if (Now != State::Full)
                qCWarning(lcHistory) << "the disk of" << Path << "is full; the history pauses";
            FullSince = std::chrono::steady_clock::now();
            Enter(State::Full);
        } else if (IsLock(rc)) {
            // Held by someone for a moment: the batch waits for the next one.
            qCDebug(lcHistory) << "the history file is busy; the batch waits";
            lock.lock();
            Pending.insert(Pending.begin(), std::make_move_iterator(batch.begin()),
                           std::make_move_iterator(batch.end()));
            while (Pending.size() > size_t(kMaxPending))
                Pending.pop_front();
            Writing = false;
            Idle.notify_all();
            if (Stop)
                break;
            // Not at once again: the next download wakes the thread.
            Wake.wait_for(lock, std::chrono::seconds(1), [this] { return Stop; });
            continue;
        } else if (Now != State::Failed) {
            const QString why = Db ? ErrorText(Db) : QString();
            qCWarning(lcHistory) << "cannot write" << Path << why;
            Close();
            Enter(State::Failed);
        }
        lock.lock();
        Writing = false;
        if (Now == State::Failed)
            Pending.clear();
        Idle.notify_all();
        if (Now == State::Failed)
            break;
    }
    Writing = false;
    Pending.clear();
    Idle.notify_all();
    lock.unlock();
    Close();
}

HistoryStore::HistoryStore(QString path, int historyDays)
    : FilePath(std::move(path)), Data(std::make_shared<Shared>()) {
    Data->Path = FilePath;
    Data->Days = historyDays;
    if (historyDays <= 0) {
        Data->Now = State::Off;
        return;
    }
    Context = new StateReceiver(this);
    Data->Receiver = Context;
    std::thread([data = Data] { data->Run(); }).detach();
}

HistoryStore::~HistoryStore() {
    {
        std::lock_guard lock(Data->Mutex);
        Data->Stop = true;
        Data->Receiver = nullptr;
    }
    Data->Wake.notify_all();
    delete Context;
}

void HistoryStore::Record(QVector<HistoryTick> ticks) {
    std::lock_guard lock(Data->Mutex);
    switch (Data->Now) {
        case State::Starting:
        case State::On:
        case State::Full:
        case State::SetAside:
            break;
        default:
            return;
    }
    bool added = false;
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    for (HistoryTick& tick : ticks) {
        if (!Plausible(tick, nowMs))
            continue;
        Data->Pending.push_back(std::move(tick));
        added = true;
    }
    while (Data->Pending.size() > size_t(kMaxPending))
        Data->Pending.pop_front();
    if (added)
        Data->Wake.notify_one();
}

bool HistoryStore::WaitForWrites(int timeoutMs) const {
    std::unique_lock lock(Data->Mutex);
    return Data->Idle.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] {
        return Data->Now != State::Starting && Data->Pending.empty() && !Data->Writing;
    });
}

HistoryStore::State HistoryStore::CurrentState() const {
    std::lock_guard lock(Data->Mutex);
    return Data->Now;
}

QString HistoryStore::Note() const {
    std::lock_guard lock(Data->Mutex);
    switch (Data->Now) {
        case State::Locked:
            return QCoreApplication::translate("History", "价格历史被其他程序占用");
        case State::Full:
            return QCoreApplication::translate("History", "磁盘已满，价格历史暂停");
        case State::SetAside:
            return QCoreApplication::translate("History", "价格历史文件已损坏，已另存并新建");
        case State::Failed:
            return QCoreApplication::translate("History", "价格历史无法记录");
        default:
            return {};
    }
}

QVector<HistoryBar> HistoryStore::Bars(const QString& code, qint64 fromMs, qint64 toMs) const {
    return ReadHistoryBars(FilePath, code, fromMs, toMs);
}

QVector<HistoryDay> HistoryStore::Days(const QString& code, QDate from, QDate to) const {
    return ReadHistoryDays(FilePath, code, from, to);
}

QVector<HistoryBar> ReadHistoryBars(const QString& path, const QString& code, qint64 fromMs,
                                    qint64 toMs) {
    QVector<HistoryBar> bars;
    Reader reader(path);
    if (!reader.Db || fromMs > toMs)
        return bars;
    Statement query(reader.Db, R"(
SELECT b.minute, b.open, b.high, b.low, b.close, b.last, s.source
FROM bars b JOIN codes c ON c.id = b.code JOIN sources s ON s.id = b.source
WHERE c.code = ?1 AND b.minute BETWEEN ?2 AND ?3 ORDER BY b.minute)");
    if (query.Result != SQLITE_OK) {
        qCWarning(lcHistory) << "cannot read" << path << ErrorText(reader.Db);
        return bars;
    }
    // The bars whose minute starts within the range.
    query.Bind(1, code);
    query.Bind(2, -FloorDiv(-fromMs, kMinuteMs));
    query.Bind(3, FloorDiv(toMs, kMinuteMs));
    while (sqlite3_step(query.S) == SQLITE_ROW) {
        HistoryBar bar;
        bar.minuteMs = sqlite3_column_int64(query.S, 0) * kMinuteMs;
        bar.open = sqlite3_column_double(query.S, 1);
        bar.high = sqlite3_column_double(query.S, 2);
        bar.low = sqlite3_column_double(query.S, 3);
        bar.close = sqlite3_column_double(query.S, 4);
        bar.lastTickMs = bar.minuteMs + sqlite3_column_int64(query.S, 5);
        bar.source =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query.S, 6)));
        bars.push_back(bar);
    }
    return bars;
}

QVector<HistoryDay> ReadHistoryDays(const QString& path, const QString& code, QDate from,
                                    QDate to) {
    QVector<HistoryDay> days;
    Reader reader(path);
    if (!reader.Db || !from.isValid() || !to.isValid() || from > to)
        return days;
    Statement query(reader.Db, R"(
SELECT d.day, d.close, d.last, s.source
FROM days d JOIN codes c ON c.id = d.code JOIN sources s ON s.id = d.source
WHERE c.code = ?1 AND d.day BETWEEN ?2 AND ?3 ORDER BY d.day)");
    if (query.Result != SQLITE_OK) {
        qCWarning(lcHistory) << "cannot read" << path << ErrorText(reader.Db);
        return days;
    }
    const QDate epoch(1970, 1, 1);
    query.Bind(1, code);
    query.Bind(2, qint64(epoch.daysTo(from)));
    query.Bind(3, qint64(epoch.daysTo(to)));
    while (sqlite3_step(query.S) == SQLITE_ROW) {
        HistoryDay day;
        day.date = epoch.addDays(sqlite3_column_int64(query.S, 0));
        day.close = sqlite3_column_double(query.S, 1);
        day.lastTickMs = sqlite3_column_int64(query.S, 2);
        day.source =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query.S, 3)));
        days.push_back(day);
    }
    return days;
}

}  // namespace kestrel

#include "historystore.moc"
