#include "cli.h"

#include "historycli.h"

#include <QBuffer>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QSet>
#include <QTime>
#include <QTimer>
#include <QTranslator>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "alarm/alarmevaluator.h"
#include "feeds/builtin.h"
#include "feeds/feeds.h"
#include "net/httpclient.h"
#include "platform/desktop/platformservices.h"
#include "platform/instancebus.h"
#include "platform/programfiles.h"
#include "quotes/catalogue.h"
#include "quotes/markethours.h"
#include "quotes/messages.h"
#include "quotes/quotelines.h"
#include "quotes/quoterecord.h"
#include "quotes/ratespage.h"
#include "settings/settingsload.h"
#include "text/csv.h"
#include "ui/mainwindow/session.h"
#include "version.h"

namespace kestrel {

namespace {

// Exit statuses of --print, relied on by scripts and status bars.
constexpr int kExitQuotes = 0;
constexpr int kExitUsage = 2;
constexpr int kExitBadData = 3;
constexpr int kExitTransferFailed = 4;

// Text is what the window shows; JSON and CSV are one record per selected instrument.
enum class PrintFormat { Text, Json, Csv };

// English, the text of the C locale; a Chinese desktop gets its translation.
const char kHelp[] = QT_TRANSLATE_NOOP(
    "Cli",
    "Usage: kestrel [-AUTO]\n"
    "       kestrel --toggle | --show | --hide | --refresh | --settings | --quit\n"
    "       kestrel --chart NAME\n"
    "       kestrel --print [--page FILE | --url URL] [--format text|json|csv]\n"
    "       kestrel --history NAME [--from TIME] [--to TIME] [--format text|json|csv]\n"
    "       kestrel --show-settings\n"
    "       kestrel --help | --version\n"
    "\n"
    "Without an option Kestrel opens the ticker window; -AUTO (or /AUTO) marks a start from the\n"
    "session's autostart entry. A second start on the same settings shows the running window.\n"
    "\n"
    "  --toggle         hide the running ticker's window, or show it when hidden or covered\n"
    "  --show, --hide   show (in front) or hide the running ticker's window\n"
    "  --refresh        download the quotes now\n"
    "  --settings       open the settings dialog\n"
    "  --quit           end the running ticker\n"
    "                   --toggle, --show and --settings start a ticker when none runs; the\n"
    "                   others end with status 1\n"
    "  --chart NAME     open the running ticker's chart of the instrument NAME (its name, short\n"
    "                   name or code, e.g. 欧元美元 or EURUSD); status 2 when it knows no such\n"
    "                   instrument, 1 when no ticker runs\n"
    "  --print          read the prices once and print the display lines (UTF-8): from the\n"
    "                   rates page at Param/RatesURL, or from the public feeds of [Sources]\n"
    "                   when RatesURL is empty; the cause of a failure goes to standard error\n"
    "  --page FILE      with --print: read FILE as the downloaded page instead\n"
    "  --url URL        with --print: download URL instead of the configured Param/RatesURL\n"
    "  --format F       with --print: text (the display lines, the default), json or csv (one\n"
    "                   record per instrument: name, display name, code, value as shown or\n"
    "                   null, decimals, time (ISO 8601, local), source (portal, ecb, boc, page\n"
    "                   or walk; portal+ecb for one computed from both), age_seconds where\n"
    "                   known, demo, then previous_close, change and change_pct, null where\n"
    "                   unknown, raw_value and why a value is null); messages then go to\n"
    "                   standard error, as does why an instrument is N/A,\n"
    "                   and json prints {\"error\": {\"code\": ..., \"reason\": ...}} on failure\n"
    "  --history NAME   print the stored one-minute bars of the instrument NAME (its name,\n"
    "                   the name shown, your alias or its code, e.g. EURUSD): time with its\n"
    "                   offset, open, high, low, close, source; --from and --to take ISO 8601\n"
    "                   times (local without an offset), the last 24 hours by default; exit\n"
    "                   status 1 when there is no history yet, 2 for an unknown name\n"
    "  --show-settings  print the settings in effect after loading, with every correction\n"
    "  --help           print this text\n"
    "  --version        print the version\n"
    "\n"
    "Exit status of --print: 0 quotes printed, 3 the page held no quotes, 4 the download failed,\n"
    "2 usage error.\n");

// The help in the desktop's language: Chinese where the locale asks for it, else English.
QByteArray HelpText() {
    const QStringList languages = QLocale::system().uiLanguages();
    QTranslator chinese;
    if (!languages.isEmpty() && languages.first().startsWith(QStringLiteral("zh")) &&
        chinese.load(QStringLiteral("kestrel_zh_CN"), QStringLiteral(":/i18n"))) {
        const QString text = chinese.translate("Cli", kHelp);
        if (!text.isEmpty())
            return text.toUtf8();
    }
    return kHelp;
}

void PrintLines(const QStringList& lines) {
    for (const QString& line : lines) {
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}

// Where each instrument's value came from, when the built-in sources served it.
using feeds::ServedMap;
using feeds::SourceOf;

// Why an instrument has no value, by catalogue name.
using ReasonMap = std::map<QString, QString>;

// When the value was quoted: a served one's own time, one computed from served legs its oldest
// leg's (the page keeps a daily rate's date alone), else the page's time of it.
QDateTime QuoteTimeOf(const QString& name, const ServedMap& served, const RatesPage& page) {
    if (const auto it = served.find(name); it != served.end())
        return it->second.Value.Time;
    QDateTime oldest;
    for (const QString& leg : MarketLegs(name)) {
        const auto it = served.find(leg);
        if (it == served.end() || !it->second.Value.Time.isValid())
            return page.QuoteTimeFor(name);
        if (!oldest.isValid() || it->second.Value.Time < oldest)
            oldest = it->second.Value.Time;
    }
    return oldest;
}

// The alarm of Param/UseMonitor and the rules of [Alarms], each checked against this download
// alone: whether it would fire now (a crossing needs a price before this one, so never).
struct AlarmsSeen {
    QList<AlarmRule> Rules;
    QSet<QString> Fired;
};

AlarmsSeen CheckAlarms(const Settings& settings, const RatesPage& page, const QDateTime& updated) {
    AlarmsSeen seen;
    if (settings.UseMonitor && !settings.MonitorCcy.isEmpty())
        seen.Rules.append(MonitorRule({settings.UseMonitor, settings.MonitorCcy,
                                       settings.MonitorPrice, settings.AlarmSound}));
    for (const auto& [key, line] : settings.Alarms)
        seen.Rules.append(ParseAlarmLine(key, line));
    AlarmEvaluator evaluator;
    evaluator.SetRules(seen.Rules);
    QList<AlarmTick> ticks;
    for (const AlarmRule& rule : seen.Rules)
        ticks.append(AlarmTickOf(page, rule.Name, updated.toUTC()));
    for (const AlarmFiring& f : evaluator.Check(ticks).Fired)
        seen.Fired.insert(f.Rule.Key);
    return seen;
}

// The records of the chosen instruments after a download at `updated`: an instrument a source
// served carries that source, its own time and its age; the others the page's source and the
// quote's time from the page (the download's when the page has none).
void PrintRecords(PrintFormat format, const QStringList& selection, const QuoteSlots& quoteSlots,
                  const QDateTime& updated, const QString& pageSource, const ServedMap& served,
                  const RatesPage& page, const AlarmsSeen& alarms,
                  const QHash<QString, QString>& aliases, const ReasonMap& reasons) {
    const bool demo = pageSource == u"walk";
    QJsonArray records;
    QStringList csv{
        QStringLiteral("name,display,code,value,decimals,time,source,age_seconds,demo,"
                       "previous_close,change,change_pct,market,stale,raw_value,reason")};
    for (qsizetype i = 0; i < selection.size(); ++i) {
        const QString& name = selection[i];
        const auto why = reasons.find(name);
        const QString reason = why != reasons.end() ? why->second : QString();
        const QuoteRecord r = MakeQuoteRecord(
            {name, double(quoteSlots.CurQuotes.value(i)), double(quoteSlots.Closes.value(i)),
             QuoteTimeOf(name, served, page), updated,
             served.empty() ? pageSource : SourceOf(name, served), demo, reason});
        QJsonArray watching;
        for (const AlarmRule& rule : alarms.Rules) {
            if (rule.Readable && rule.Name == name)
                watching.append(
                    QJsonObject{{QStringLiteral("key"), rule.Key},
                                {QStringLiteral("rule"), AlarmRuleText(rule)},
                                {QStringLiteral("enabled"), rule.Enabled},
                                {QStringLiteral("fired"), alarms.Fired.contains(rule.Key)}});
        }
        QJsonObject record = RecordJson(r);
        record.insert(QStringLiteral("alias"),
                      aliases.contains(name) ? QJsonValue(aliases.value(name)) : QJsonValue());
        record.insert(QStringLiteral("alarms"), watching);
        records.append(record);
        // The names shown and the reasons are free text in the desktop's language.
        csv << QStringList{name,
                           CsvField(r.Display),
                           r.Code,
                           r.Shown,
                           QString::number(r.Decimals),
                           r.Time,
                           r.Source,
                           r.AgeSeconds ? QString::number(*r.AgeSeconds) : QString(),
                           demo ? QStringLiteral("true") : QStringLiteral("false")}
                       .join(u',') +
                   u',' + r.Change.join(u',') + u',' + MarketText(r.Market) + u',' +
                   (r.Stale ? QStringLiteral("true") : QStringLiteral("false")) + u',' +
                   (r.Known ? QString::number(r.Value, 'g', 15) : QString()) + u',' +
                   CsvField(reason);
    }
    if (format == PrintFormat::Json)
        PrintLines({QString::fromUtf8(QJsonDocument(records).toJson(QJsonDocument::Compact))});
    else
        PrintLines(csv);
}

void PrintMessages(const QStringList& lines) {
    for (const QString& line : lines)
        std::fprintf(stderr, "kestrel: %s\n", line.toUtf8().constData());
}

// A failure in the chosen format: the lines go to standard error, and JSON also prints an error
// object for scripts on standard output.
void PrintFailure(PrintFormat format, const QString& code, const QStringList& reason) {
    PrintMessages(reason);
    if (format == PrintFormat::Json) {
        const QJsonObject error{{QStringLiteral("code"), code},
                                {QStringLiteral("reason"), reason.join(u'\n')}};
        PrintLines({QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("error"), error}})
                                          .toJson(QJsonDocument::Compact))});
    }
}

// The code of a failed download in the JSON error object.
QString FailureCode(int status, const TransferFailure& failure) {
    if (status == 407)
        return QStringLiteral("proxy_auth");
    if (status == 200)
        return QStringLiteral("connection_lost");
    if (status > 0)
        return QStringLiteral("http_status");
    switch (failure.Kind) {
        case TransferFailureKind::HostNotFound:
            return QStringLiteral("host_not_found");
        case TransferFailureKind::ProxyNotFound:
            return QStringLiteral("proxy_not_found");
        case TransferFailureKind::Refused:
            return QStringLiteral("refused");
        case TransferFailureKind::ProxyRefused:
            return QStringLiteral("proxy_refused");
        case TransferFailureKind::TimedOut:
            return QStringLiteral("timeout");
        case TransferFailureKind::None:
        case TransferFailureKind::Other:
            break;
    }
    return QStringLiteral("transfer_failed");
}

int UsageError(const char* message) {
    std::fprintf(stderr, "kestrel: %s\nTry 'kestrel --help'.\n", message);
    return kExitUsage;
}

// Why each chosen instrument without a value has none: for a computed one, why its first missing
// leg is; `whyMissing` answers for a leg the sources were asked for.
ReasonMap MissingReasons(const QStringList& selection, const QuoteSlots& quoteSlots,
                         const RatesPage& page,
                         const std::function<QString(const QString&)>& whyMissing) {
    ReasonMap reasons;
    for (qsizetype i = 0; i < selection.size(); ++i) {
        const double value = double(quoteSlots.CurQuotes.value(i));
        if (value != 0 && std::isfinite(value))
            continue;
        const QString& name = selection[i];
        const QString reason = whyMissing ? whyMissing(MissingLeg(page, name)) : QString();
        reasons[name] =
            reason.isEmpty() ? QCoreApplication::translate("Cli", "数据源未提供该品种") : reason;
    }
    return reasons;
}

// Composes and prints the lines the window would show after its first download of this page;
// why an instrument is N/A goes to standard error.
int PrintPage(const Settings& settings, const QByteArray& body, const QString& contentType,
              PrintFormat format, const ServedMap& served = {},
              const std::function<QString(const QString&)>& whyMissing = {}) {
    RatesPage page;
    page.SetBody(body, contentType);
    QuoteSlots quoteSlots;
    quoteSlots.Reset(settings.Selection.size());
    const QDateTime now = QDateTime::currentDateTime();
    // Records carry the previous close whatever the lines show.
    const LineOptions options{settings.ShowChange || format != PrintFormat::Text,
                              settings.ShowArrows, AliasesOf(settings)};
    const QuoteLines result = BuildQuoteLines(page, settings.Selection, quoteSlots,
                                              settings.DisplayTime, now.time(), {}, options);
    const ReasonMap reasons = result.Good
                                  ? MissingReasons(settings.Selection, quoteSlots, page, whyMissing)
                                  : ReasonMap();
    if (format == PrintFormat::Text) {
        PrintLines(result.Lines);
    } else if (result.Good) {
        const QString source = page.Demo()      ? QStringLiteral("walk")
                               : served.empty() ? QStringLiteral("page")
                                                : QString();
        PrintRecords(format, settings.Selection, quoteSlots, now, source, served, page,
                     CheckAlarms(settings, page, now), options.Aliases, reasons);
    } else {
        PrintFailure(format, QStringLiteral("bad_data"),
                     result.Lines.mid(settings.DisplayTime || page.Demo() ? 1 : 0));
    }
    for (const QString& name : settings.Selection) {
        if (const auto it = reasons.find(name); it != reasons.end())
            PrintMessages({ShownInstrumentName(name) + QStringLiteral(": ") + it->second});
    }
    return result.Good ? kExitQuotes : kExitBadData;
}

int PrintDownload(const Settings& settings, const QString& url, PrintFormat format) {
    THTTPClient http;
    ConfigureQuoteClient(http, settings);
    http.URL = url;
    http.Referer = url;
    // One synchronous download: a server that never answers ends in OnWaitTimeoutExpired after
    // Param/WaitTimeOut seconds instead of never.
    http.SetWaitThread(true);
    http.SetWaitTimeout(settings.WaitTimeoutMs);

    QByteArray body;
    QString contentType;
    bool done = false;
    http.OnDone = [&](TCustomHTTPClient*, const QString& type, qint64, QIODevice* stream) {
        contentType = type;
        if (stream)
            body = stream->readAll();
        done = true;
    };
    QByteArray errorBody;
    http.OnHTTPError = [&errorBody](TCustomHTTPClient*, int, QIODevice* stream) {
        if (stream)
            errorBody = stream->readAll();
    };
    TransferFailure failure;
    http.OnWaitTimeoutExpired = [&failure](TCustomHTTPClient*) {
        failure.Kind = TransferFailureKind::TimedOut;
    };
    http.Read();
    if (!done) {
        if (failure.Kind == TransferFailureKind::None)
            failure = http.LastFailure();
        const QStringList reason = FailureReason(url, http.StatusCode(), failure, errorBody);
        if (format == PrintFormat::Text)
            PrintLines(TransferErrorLines(settings.DisplayTime, QTime::currentTime()));
        else
            PrintMessages(TransferErrorLines(false, QTime::currentTime()));
        PrintFailure(format, FailureCode(http.StatusCode(), failure), reason);
        return kExitTransferFailed;
    }
    return PrintPage(settings, body, contentType, format);
}

// One refresh from the public feeds, each source asked once, within the wait time-out.
int PrintBuiltin(const Settings& settings, PrintFormat format) {
    THTTPClient http;
    ConfigureQuoteClient(http, settings);
    feeds::BuiltinSource source;
    source.SetSources(feeds::BuiltinSources(settings));
    source.Configure(http.Proxy, settings.WaitTimeoutMs);
    QEventLoop loop;
    source.OnRefreshed = [&loop, &source] {
        if (!source.Busy())
            loop.quit();
    };
    // The transfers end within the time-out by themselves; this only guards against a hang.
    QTimer::singleShot(settings.WaitTimeoutMs + 5000, &loop, &QEventLoop::quit);
    source.Refresh();
    loop.exec();
    // Why a leg has no value, asked before the transfers still under way are dropped.
    const std::map<QString, QString> withheld = source.Withheld();
    QSet<QString> reading;
    for (const QString& name : feeds::PageInstruments()) {
        if (source.Reading(name))
            reading.insert(name);
    }
    source.Abort();
    const std::optional<QString> page = source.Page();
    if (!page) {
        if (format == PrintFormat::Text)
            PrintLines(TransferErrorLines(settings.DisplayTime, QTime::currentTime()));
        else
            PrintMessages(TransferErrorLines(false, QTime::currentTime()));
        PrintFailure(format, QStringLiteral("sources_failed"),
                     {QCoreApplication::translate("Messages", "原因：") + source.FailureSummary()});
        return kExitTransferFailed;
    }
    ServedMap served;
    std::set<feeds::SourceKind> answered;
    for (const feeds::Served& s : source.Quotes()) {
        served.emplace(s.Name, s);
        answered.insert(s.Source);
    }
    // A source that served nothing at all is taken as the one that would have had the rest.
    QStringList silent;
    for (const feeds::SourceConfig& config : feeds::BuiltinSources(settings)) {
        if (!answered.contains(config.Kind))
            silent << feeds::SourceTitle(config.Kind);
    }
    const auto whyMissing = [&](const QString& leg) {
        if (reading.contains(leg))
            return QCoreApplication::translate("Cli", "正在读取");
        if (const auto it = withheld.find(leg); it != withheld.end())
            return it->second;
        if (!silent.isEmpty())
            return QCoreApplication::translate("Cli", "%1未应答")
                .arg(silent.join(QCoreApplication::translate("Cli", "、")));
        return QString();
    };
    return PrintPage(settings, page->toUtf8(), QStringLiteral("text/html; charset=utf-8"), format,
                     served, whyMissing);
}

}  // namespace

std::optional<int> RunCommandLine(int argc, char* argv[]) {
    if (argc < 2 || !QByteArray(argv[1]).startsWith("--"))
        return std::nullopt;

    const QByteArray mode = argv[1];
    if (mode == "--help") {
        std::fputs(HelpText().constData(), stdout);
        return 0;
    }
    if (mode == "--version") {
        std::fputs("Kestrel " KESTREL_VERSION "\n", stdout);
        return 0;
    }
    if (CommandFromOption(mode)) {
        if (argc > 2)
            return UsageError("unexpected argument");
        return std::nullopt;  // the ticker, or the running one, carries the command out
    }
    if (mode == "--chart") {
        if (argc != 3)
            return UsageError("--chart takes one instrument name");
        return std::nullopt;  // the running ticker opens it
    }
    if (mode != "--print" && mode != "--show-settings" && mode != "--history")
        return UsageError("unknown option");

    QString pageFile;
    QString url;
    PrintFormat format = PrintFormat::Text;
    QByteArray formatName = "text";
    QString historyName, historyFrom, historyTo;
    int first = 2;
    if (mode == "--history") {
        if (argc < 3 || QByteArray(argv[2]).startsWith("--"))
            return UsageError("--history needs an instrument's name or code");
        historyName = QString::fromLocal8Bit(argv[2]);
        first = 3;
    }
    for (int i = first; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (mode == "--history" && (arg == "--from" || arg == "--to")) {
            if (i + 1 >= argc)
                return UsageError("option needs an argument");
            (arg == "--from" ? historyFrom : historyTo) = QString::fromLocal8Bit(argv[++i]);
        } else if ((mode == "--print" &&
                    (arg == "--page" || arg == "--url" || arg == "--format")) ||
                   (mode == "--history" && arg == "--format")) {
            if (i + 1 >= argc)
                return UsageError("option needs an argument");
            const QByteArray value = argv[++i];
            if (arg == "--format") {
                if (value != "text" && value != "json" && value != "csv")
                    return UsageError("--format is text, json or csv");
                formatName = value;
                format = value == "json"  ? PrintFormat::Json
                         : value == "csv" ? PrintFormat::Csv
                                          : PrintFormat::Text;
            } else {
                (arg == "--page" ? pageFile : url) = QString::fromLocal8Bit(value);
            }
        } else {
            return UsageError("unexpected argument");
        }
    }
    if (!pageFile.isEmpty() && !url.isEmpty())
        return UsageError("--page and --url exclude each other");

    // The font of the settings needs the font database; the offscreen platform gives it without
    // a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Kestrel"));
    InstallPlatformServices();

    const ProgramFiles files = ResolveProgramFiles(QCoreApplication::applicationFilePath());
    const Settings settings = LoadStartupSettings(files);
    InstallTranslations(settings.Language);

    if (mode == "--history")
        return PrintHistory(settings, files.HistoryPath, historyName, historyFrom, historyTo,
                            formatName);
    if (mode == "--show-settings") {
        const QByteArray report = FormatSettingsReport(settings).toUtf8();
        std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
        return 0;
    }
    if (!pageFile.isEmpty()) {
        QFile file(pageFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kestrel: cannot read %s\n",
                         QFile::encodeName(pageFile).constData());
            return kExitUsage;
        }
        return PrintPage(settings, file.readAll(), QString(), format);
    }
    const QString address = url.isEmpty() ? settings.RatesURL.trimmed() : url;
    if (address.isEmpty())
        return PrintBuiltin(settings, format);
    return PrintDownload(settings, address, format);
}

}  // namespace kestrel
