#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstdio>

#include "cli.h"
#include "platform/dbus/dbusnotifier.h"
#include "platform/desktop/hotkeychain.h"
#include "platform/desktop/platformservices.h"
#include "platform/hotkeylock.h"
#include "platform/iconfiles.h"
#include "platform/instancebus.h"
#include "platform/logging.h"
#include "platform/programfiles.h"
#include "platform/sessionkind.h"
#include "platform/sound.h"
#include "platform/trayshell.h"
#include "platform/wayland/layerticker.h"
#include "platform/x11/desktopwindowservices.h"
#include "platform/xdg/xdgshortcuts.h"
#include "ui/alarm/alarmform.h"
#include "ui/mainwindow/mainform.h"
#include "ui/mainwindow/session.h"

namespace {

// A command to a running ticker ends within two seconds: the bus's greeting, then the call.
constexpr int kBusGreetingMs = 700;
constexpr int kCommandAnswerMs = 1200;
// Each answer of the bus while a ticker claims its name; the window does not wait for them.
constexpr int kClaimAnswerMs = 1500;

QString SettingsFolder(const kestrel::ProgramFiles& files) {
    return QDir::toNativeSeparators(QFileInfo(files.IniPath).absolutePath());
}

int NothingToTalkTo(const kestrel::ProgramFiles& files) {
    std::fprintf(stderr, "kestrel: no Kestrel is running on the settings in %s\n",
                 qPrintable(SettingsFolder(files)));
    return 1;
}

int NoAnswer() {
    std::fprintf(stderr, "kestrel: the Kestrel running on these settings does not answer\n");
    return 1;
}

int Unreachable(const QString& why) {
    std::fprintf(stderr, "kestrel: cannot reach the ticker: %s\n", qPrintable(why));
    return 1;
}

// Whether Qt finds a screen to start on: a platform that needs none (offscreen), or the X or
// Wayland display that its usual platforms talk to.
bool DisplayOffered() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Hands the command to the ticker running on these settings, before anything needs a display:
// the status to end with, or nothing when this process is to start the ticker itself. A bus
// that does not greet is given up for the whole process.
std::optional<int> ForwardCommand(int argc, char* argv[], kestrel::InstanceCommand command,
                                  bool commanded) {
    QCoreApplication core(argc, argv);
    const kestrel::ProgramFiles files =
        kestrel::ResolveProgramFiles(QCoreApplication::applicationFilePath());
    const QString silence = kestrel::SessionBusSilence(kBusGreetingMs);
    kestrel::InstanceBus::Sent sent = kestrel::InstanceBus::Sent::NoOwner;
    if (silence.isEmpty()) {
        sent = kestrel::InstanceBus(files.IniPath).Send(command, kCommandAnswerMs);
    } else {
        kestrel::ForgoSessionBus();
        qCWarning(lcPlatform, "%s: this Kestrel runs without the session bus", qPrintable(silence));
    }
    switch (sent) {
        case kestrel::InstanceBus::Sent::Taken:
            return 0;
        case kestrel::InstanceBus::Sent::NoAnswer:
        case kestrel::InstanceBus::Sent::Refused:  // only a chart is refused
            return NoAnswer();
        case kestrel::InstanceBus::Sent::NoOwner:
            break;
    }
    const bool starts = !commanded || kestrel::CommandStartsTicker(command);
    if (starts && DisplayOffered())
        return std::nullopt;
    if (!silence.isEmpty())
        return Unreachable(silence);
    if (!starts)
        return NothingToTalkTo(files);
    return Unreachable(QStringLiteral("no Kestrel is running on the settings in %1, and there is "
                                      "no display to start one on")
                           .arg(SettingsFolder(files)));
}

// `kestrel --chart NAME`: only a running ticker opens a chart, and it says whether it knows the
// instrument.
int ForwardChart(int argc, char* argv[]) {
    QCoreApplication core(argc, argv);
    const kestrel::ProgramFiles files =
        kestrel::ResolveProgramFiles(QCoreApplication::applicationFilePath());
    if (const QString silence = kestrel::SessionBusSilence(kBusGreetingMs); !silence.isEmpty())
        return Unreachable(silence);
    const QString name = QString::fromLocal8Bit(argv[2]);
    switch (kestrel::InstanceBus(files.IniPath).SendChart(name, kCommandAnswerMs)) {
        case kestrel::InstanceBus::Sent::Taken:
            return 0;
        case kestrel::InstanceBus::Sent::Refused:
            std::fprintf(stderr, "kestrel: no instrument is named %s\n", argv[2]);
            return 2;
        case kestrel::InstanceBus::Sent::NoAnswer:
            return NoAnswer();
        case kestrel::InstanceBus::Sent::NoOwner:
            break;
    }
    return NothingToTalkTo(files);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Command-line modes need neither a display nor a window.
    if (const auto code = kestrel::RunCommandLine(argc, argv))
        return *code;
    if (argc == 3 && qstrcmp(argv[1], "--chart") == 0)
        return ForwardChart(argc, argv);
    // A plain start asks a running ticker to show its window.
    kestrel::InstanceCommand command = kestrel::InstanceCommand::Show;
    bool commanded = false;
    if (argc > 1) {
        if (const auto given = kestrel::CommandFromOption(argv[1])) {
            command = *given;
            commanded = true;
        }
    }
    // One ticker per settings file: a later start hands its command to the first and ends,
    // without a display if need be.
    if (const auto code = ForwardCommand(argc, argv, command, commanded))
        return *code;

    // On Wayland the platform Qt starts on, and whether the ticker gets a layer surface of its
    // own, are settled before Qt looks at the environment.
    std::unique_ptr<kestrel::WaylandLink> wayland = kestrel::WaylandLink::Open(2000);
    kestrel::SessionOffers offers;
    offers.UserPlatform = qgetenv("QT_QPA_PLATFORM");
    offers.Wayland = wayland != nullptr;
    offers.XServer = offers.Wayland && kestrel::LocalXServerReachable();
    offers.LayerShell = wayland && wayland->HasLayerShell();
    const kestrel::SessionChoice session = kestrel::ChooseSession(offers);
    if (!session.Platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", session.Platform);
    if (!session.LayerSurface)
        wayland.reset();

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrel"));
    QApplication::setWindowIcon(kestrel::IconFromFile(QStringLiteral(":/icons/kestrel.svg")));
    // The window lives on in the tray when it is hidden; only 退出 ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    const kestrel::ProgramFiles files =
        kestrel::ResolveProgramFiles(QCoreApplication::applicationFilePath());
    kestrel::InstallTranslations(kestrel::ReadUiLanguage(files.IniPath));
    kestrel::InstallPlatformServices();
    kestrel::QuitOnTerminationSignals();
    kestrel::DesktopWindowServices desktop;
    std::unique_ptr<kestrel::LayerTicker> layer;
    if (session.LayerSurface)
        layer = std::make_unique<kestrel::LayerTicker>(std::move(wayland), &desktop);
    kestrel::IWindowServices& window =
        layer ? static_cast<kestrel::IWindowServices&>(*layer) : desktop;
    const std::unique_ptr<kestrel::IHotKeyService> hotKey = kestrel::CreateHotKeyService();
    kestrel::HotKeyAtom atom;
    kestrel::SoundEffectPlayer sound;
    QFile icon(QStringLiteral(":/icons/kestrel.svg"));
    kestrel::XdgShortcutService shortcuts(icon.open(QIODevice::ReadOnly) ? icon.readAll()
                                                                         : QByteArray());

    std::unique_ptr<kestrel::TAlarmForm> alarmForm;
    std::unique_ptr<kestrel::DBusNotifier> notifier;
    kestrel::TMainForm mainForm(
        files,
        {&window, hotKey.get(), std::make_unique<kestrel::SystemTrayShell>(), &atom, &shortcuts,
         layer != nullptr},
        QCoreApplication::arguments());
    if (layer)
        layer->OnMoved = [&mainForm] { mainForm.SaveWindowPosition(); };
    // Where the compositor places windows itself, the place we would read back is its own.
    mainForm.SetPositionMeaningful(session.Lack != kestrel::SessionLack::NativeWayland);
    // Its window and the fonts it lays out in cost the start nothing until the first alarm.
    mainForm.SetAlarmForm([&] {
        if (!alarmForm) {
            alarmForm = std::make_unique<kestrel::TAlarmForm>(&sound, files.WavPath, files.IniPath);
            window.HideFromTaskbar(alarmForm.get());
            alarmForm->OnAlarmClosed = [&mainForm] { mainForm.StopPriceMonitor(); };
        }
        return alarmForm.get();
    });
    mainForm.SetNotifier([&notifier] {
        if (!notifier)
            notifier = std::make_unique<kestrel::DBusNotifier>();
        return notifier.get();
    });
    // The window does not wait for the bus. Another ticker that took the name meanwhile gets the
    // command, and this one ends; when the owner ends meanwhile the name is asked for again.
    kestrel::InstanceBus instance(files.IniPath);
    instance.SetOnCommand([&mainForm](kestrel::InstanceCommand c) { mainForm.RunCommand(c); });
    instance.SetOnChart(
        [&mainForm](const QString& name) { return !mainForm.ChartName(name).isEmpty(); },
        [&mainForm](const QString& name) { mainForm.OpenChart(mainForm.ChartName(name)); });
    instance.ClaimName(command, kClaimAnswerMs, [&mainForm](kestrel::InstanceBus::Claim claim) {
        if (claim == kestrel::InstanceBus::Claim::HandedOver) {
            mainForm.RunCommand(kestrel::InstanceCommand::Quit);
        } else if (claim == kestrel::InstanceBus::Claim::Unanswered) {
            NoAnswer();
            mainForm.RunCommand(kestrel::InstanceCommand::Quit);
            QCoreApplication::exit(1);
        }
    });
    mainForm.show();
    if (command == kestrel::InstanceCommand::Settings)
        QTimer::singleShot(0, &mainForm, [&mainForm] { mainForm.mnSetupParameterClick(); });
    // An end asked for while the start-up still ran (the weekend rule's queued quit, served by a
    // nested event loop) happened before exec() and would be lost: exit() needs a running loop.
    if (mainForm.Quitting())
        return 0;
    return QApplication::exec();
}
