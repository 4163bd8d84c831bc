#include "ui/mainwindow/session.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>
#include <cerrno>

#include "net/httpclient.h"
#include "platform/fonts.h"
#include "upgrade/upgradetext.h"

namespace kestrel {

using namespace Qt::StringLiterals;

namespace {

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t watchdogAllowed = 0;
volatile sig_atomic_t watchdogArmed = 0;
constexpr unsigned kExitWithinSeconds = 2;

void OnWatchdog(int) {
    // In a signal handler only write() and _exit(); the line as the log's category writes it.
    static constexpr char line[] =
        "kestrel.platform: the orderly end took longer than two seconds; ending now\n";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, sizeof line - 1);
    ::_exit(0);
}

void OnTerminationSignal(int) {
    // Only what is safe in a signal handler: the event loop picks the byte up, and the
    // watchdog ends the program when the event loop is held elsewhere.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    ArmExitWatchdog();
    errno = saved;
}

}  // namespace

void QuitOnTerminationSignals() {
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    struct sigaction watchdog {};
    watchdog.sa_handler = OnWatchdog;
    sigemptyset(&watchdog.sa_mask);
    sigaction(SIGALRM, &watchdog, nullptr);
    watchdogAllowed = 1;
}

void ArmExitWatchdog() {
    if (!watchdogAllowed || watchdogArmed)
        return;
    watchdogArmed = 1;
    ::alarm(kExitWithinSeconds);
}

bool ShowsEnglish(UiLanguage setting, const QStringList& uiLanguages) {
    if (setting != UiLanguage::Auto)
        return setting == UiLanguage::English;
    for (const QString& language : uiLanguages) {
        const QString name = language.toLower();
        const auto is = [&name](QLatin1StringView code) {
            return name == code || (name.startsWith(code) &&
                                    (name[code.size()] == u'-' || name[code.size()] == u'_'));
        };
        if (is("en"_L1))
            return true;
        if (is("zh"_L1) || name == u"c" || name == u"posix")
            return false;
    }
    return false;
}

bool InstallTranslations(UiLanguage setting) {
    const bool english = ShowsEnglish(setting, QLocale::system().uiLanguages());
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    const auto install = [](const QString& name, const QString& where) {
        auto* translator = new QTranslator(QCoreApplication::instance());
        if (translator->load(name, where))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    };
    // The upgrade dialogs keep their own table of languages; a language the user chose for the
    // program is theirs too.
    if (setting == UiLanguage::English)
        SetProgramLanguage(wlEnglish);
    else if (setting == UiLanguage::Chinese)
        SetProgramLanguage(wlChineseSimplified);
    if (english) {
        install(QStringLiteral("kestrel_en"), QStringLiteral(":/i18n"));
        install(QStringLiteral("qtbase_en"), folder);
    } else {
        install(QStringLiteral("qtbase_zh_CN"), folder);
    }
    return english;
}

FontDesc WindowFontDesc() {
    FontDesc font;
    font.Name = WindowFontFamily();
    font.Size = 9;  // 12 pixels at 96 dots per inch
    font.Charset = 134;
    return font;
}

Settings LoadStartupSettings(const ProgramFiles& files, const QStringList& currentSelection) {
    return LoadSettings(files.IniPath, files.CcyPath, WindowFontDesc(), currentSelection);
}

void ConfigureQuoteClient(THTTPClient& http, const Settings& settings) {
    http.URL = settings.RatesURL;
    http.Referer = settings.RatesURL;
    http.UseCache = false;
    http.SetWaitTimeout(settings.WaitTimeoutMs);
    http.Proxy.AccessType = settings.AccessType;
    if (settings.AccessType == THTTPAccessType::atUseProxy) {
        http.Proxy.ProxyServer = settings.ProxyServer;
        http.Proxy.ProxyPort = settings.ProxyPortNumber;
        http.Proxy.ProxyUsername = settings.ProxyUsername;
        http.Proxy.ProxyPassword = settings.ProxyPassword;
    }
}

}  // namespace kestrel
