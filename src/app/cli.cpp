#include "app/cli.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>
#include <cmath>
#include <cstdio>

#include "app/session.h"
#include "net/httpclient.h"
#include "platform/instancebus.h"
#include "platform/programfiles.h"
#include "quotes/catalogue.h"
#include "quotes/messages.h"
#include "quotes/quotelines.h"
#include "quotes/ratespage.h"
#include "settings/settingsload.h"

namespace kestrel {

namespace {

// Exit statuses of --print, relied on by scripts and status bars.
constexpr int kExitQuotes = 0;
constexpr int kExitUsage = 2;
constexpr int kExitBadData = 3;
constexpr int kExitTransferFailed = 4;

// Text is what the window shows; JSON and CSV are one record per selected instrument.
enum class PrintFormat { Text, Json, Csv };

const char kHelp[] =
    "Usage: kestrel [-AUTO]\n"
    "       kestrel --toggle | --show | --hide | --refresh | --settings | --quit\n"
    "       kestrel --print [--page FILE | --url URL] [--format text|json|csv]\n"
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
    "  --print          download the rates page once and print the display lines (UTF-8)\n"
    "  --page FILE      with --print: read FILE as the downloaded page instead\n"
    "  --url URL        with --print: download URL instead of the configured Param/RatesURL\n"
    "  --format F       with --print: text (the display lines, the default), json or csv (one\n"
    "                   record per instrument: name, display name, value or null, decimals,\n"
    "                   update time); messages then go to standard error\n"
    "  --show-settings  print the settings in effect after loading, with every correction\n"
    "  --help           print this text\n"
    "  --version        print the version\n"
    "\n"
    "Exit status of --print: 0 quotes printed, 3 the page held no quotes, 4 the download failed,\n"
    "2 usage error.\n";

void PrintLines(const QStringList& lines) {
    for (const QString& line : lines) {
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
        std::fputc('\n', stdout);
    }
    std::fflush(stdout);
}

// The records of the chosen instruments after a download at `updated`.
void PrintRecords(PrintFormat format, const QStringList& selection, const QuoteSlots& quoteSlots,
                  const QDateTime& updated) {
    const QString time = updated.toString(u"yyyy-MM-dd hh:mm:ss");
    QJsonArray records;
    QStringList csv{QStringLiteral("name,display,value,decimals,time")};
    for (qsizetype i = 0; i < selection.size(); ++i) {
        const QString& name = selection[i];
        const double value = double(quoteSlots.CurQuotes.value(i));
        const bool known = value != 0 && std::isfinite(value);
        const int decimals = DecimalsFor(DisplayName(name));
        records.append(
            QJsonObject{{QStringLiteral("name"), name},
                        {QStringLiteral("display"), DisplayName(name)},
                        {QStringLiteral("value"), known ? QJsonValue(value) : QJsonValue()},
                        {QStringLiteral("decimals"), decimals},
                        {QStringLiteral("time"), time}});
        // No field holds a comma or a quote: names are catalogue names.
        csv << QStringList{name, DisplayName(name),
                           known ? QString::number(value, 'g', 15) : QString(),
                           QString::number(decimals), time}
                   .join(u',');
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

int UsageError(const char* message) {
    std::fprintf(stderr, "kestrel: %s\nTry 'kestrel --help'.\n", message);
    return kExitUsage;
}

// Composes and prints the lines the window would show after its first download of this page.
int PrintPage(const Settings& settings, const QByteArray& body, const QString& contentType,
              PrintFormat format) {
    RatesPage page;
    page.SetBody(body, contentType);
    QuoteSlots quoteSlots;
    quoteSlots.Reset(settings.Selection.size());
    const QDateTime now = QDateTime::currentDateTime();
    const QuoteLines result =
        BuildQuoteLines(page, settings.Selection, quoteSlots, settings.DisplayTime, now.time());
    if (format == PrintFormat::Text) {
        PrintLines(result.Lines);
    } else if (result.Good) {
        PrintRecords(format, settings.Selection, quoteSlots, now);
    } else {
        PrintMessages(result.Lines.mid(settings.DisplayTime ? 1 : 0));
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
    http.Read();
    if (!done) {
        if (format == PrintFormat::Text)
            PrintLines(TransferErrorLines(settings.DisplayTime, QTime::currentTime()));
        else
            PrintMessages(TransferErrorLines(false, QTime::currentTime()));
        return kExitTransferFailed;
    }
    return PrintPage(settings, body, contentType, format);
}

}  // namespace

std::optional<int> RunCommandLine(int argc, char* argv[]) {
    if (argc < 2 || !QByteArray(argv[1]).startsWith("--"))
        return std::nullopt;

    const QByteArray mode = argv[1];
    if (mode == "--help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (mode == "--version") {
        std::fputs("Kestrel 0.90\n", stdout);
        return 0;
    }
    if (CommandFromOption(mode)) {
        if (argc > 2)
            return UsageError("unexpected argument");
        return std::nullopt;  // the ticker, or the running one, carries the command out
    }
    if (mode != "--print" && mode != "--show-settings")
        return UsageError("unknown option");

    QString pageFile;
    QString url;
    PrintFormat format = PrintFormat::Text;
    for (int i = 2; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (mode == "--print" && (arg == "--page" || arg == "--url" || arg == "--format")) {
            if (i + 1 >= argc)
                return UsageError("option needs an argument");
            const QByteArray value = argv[++i];
            if (arg == "--format") {
                if (value != "text" && value != "json" && value != "csv")
                    return UsageError("--format is text, json or csv");
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

    if (mode == "--show-settings") {
        const QByteArray report = FormatSettingsReport(settings).toUtf8();
        std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
        return 0;
    }
    if (!pageFile.isEmpty()) {
        QFile file(pageFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kestrel: cannot read %s\n", argv[argc - 1]);
            return kExitUsage;
        }
        return PrintPage(settings, file.readAll(), QString(), format);
    }
    return PrintDownload(settings, url.isEmpty() ? settings.RatesURL : url, format);
}

}  // namespace kestrel
