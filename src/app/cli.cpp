#include "app/cli.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QTime>
#include <cstdio>

#include "app/session.h"
#include "net/httpclient.h"
#include "platform/programfiles.h"
#include "quotes/messages.h"
#include "quotes/quotelines.h"
#include "quotes/ratespage.h"
#include "settings/encodings.h"
#include "settings/settingsload.h"

namespace kestrel {

namespace {

// Exit statuses of --print, relied on by scripts and status bars.
constexpr int kExitQuotes = 0;
constexpr int kExitUsage = 2;
constexpr int kExitBadData = 3;
constexpr int kExitTransferFailed = 4;

const char kHelp[] =
    "Usage: kestrel [-AUTO]\n"
    "       kestrel --print [--page FILE | --url URL]\n"
    "       kestrel --show-settings\n"
    "       kestrel --help | --version\n"
    "\n"
    "Without an option Kestrel opens the ticker window; -AUTO (or /AUTO) marks a start from the\n"
    "session's autostart entry.\n"
    "\n"
    "  --print          download the rates page once and print the display lines (UTF-8)\n"
    "  --page FILE      with --print: read FILE as the downloaded page instead\n"
    "  --url URL        with --print: download URL instead of the configured Param/RatesURL\n"
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

int UsageError(const char* message) {
    std::fprintf(stderr, "kestrel: %s\nTry 'kestrel --help'.\n", message);
    return kExitUsage;
}

// Composes and prints the lines the window would show after its first download of this page.
int PrintPage(const Settings& settings, const QByteArray& body, const QString& contentType) {
    RatesPage page;
    page.SetLines(SplitLines(DecodePage(body, contentType)));
    QuoteSlots quoteSlots;
    quoteSlots.Reset(settings.Selection.size());
    const QuoteLines result = BuildQuoteLines(page, settings.Selection, quoteSlots,
                                              settings.DisplayTime, QTime::currentTime());
    PrintLines(result.Lines);
    return result.Good ? kExitQuotes : kExitBadData;
}

int PrintDownload(const Settings& settings, const QString& url) {
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
        PrintLines(TransferErrorLines(settings.DisplayTime, QTime::currentTime()));
        return kExitTransferFailed;
    }
    return PrintPage(settings, body, contentType);
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
    if (mode != "--print" && mode != "--show-settings")
        return UsageError("unknown option");

    QString pageFile;
    QString url;
    for (int i = 2; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (mode == "--print" && (arg == "--page" || arg == "--url")) {
            if (i + 1 >= argc)
                return UsageError("option needs an argument");
            (arg == "--page" ? pageFile : url) = QString::fromLocal8Bit(argv[++i]);
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
        return PrintPage(settings, file.readAll(), QString());
    }
    return PrintDownload(settings, url.isEmpty() ? settings.RatesURL : url);
}

}  // namespace kestrel
