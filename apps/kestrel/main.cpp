#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>
#include <cstdio>

#include "cli.h"
#include "platform/desktop/hotkeychain.h"
#include "platform/desktop/platformservices.h"
#include "platform/hotkeylock.h"
#include "platform/iconfiles.h"
#include "platform/instancebus.h"
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

int NothingToTalkTo(const kestrel::ProgramFiles& files) {
    std::fprintf(stderr, "kestrel: no Kestrel is running on the settings in %s\n",
                 qPrintable(QDir::toNativeSeparators(QFileInfo(files.IniPath).absolutePath())));
    return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Command-line modes need neither a display nor a window.
    if (const auto code = kestrel::RunCommandLine(argc, argv))
        return *code;
    // A plain start asks a running ticker to show its window.
    kestrel::InstanceCommand command = kestrel::InstanceCommand::Show;
    bool commanded = false;
    if (argc > 1) {
        if (const auto given = kestrel::CommandFromOption(argv[1])) {
            command = *given;
            commanded = true;
        }
    }

    // A command that never starts a ticker needs no display either.
    if (commanded && !kestrel::CommandStartsTicker(command)) {
        QCoreApplication core(argc, argv);
        const kestrel::ProgramFiles files =
            kestrel::ResolveProgramFiles(QCoreApplication::applicationFilePath());
        return kestrel::InstanceBus(files.IniPath).Send(command) ? 0 : NothingToTalkTo(files);
    }

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
    kestrel::InstallToolkitTranslations();
    kestrel::InstallPlatformServices();
    kestrel::QuitOnTerminationSignals();

    const kestrel::ProgramFiles files =
        kestrel::ResolveProgramFiles(QCoreApplication::applicationFilePath());
    // One ticker per settings file: a later start hands its command to the first and ends. The
    // owner may end between our claim and our call; then the name is free again.
    kestrel::InstanceBus instance(files.IniPath);
    kestrel::InstanceBus::Claim claim = instance.ClaimName();
    for (int attempt = 0; claim == kestrel::InstanceBus::Claim::Taken && attempt < 2; ++attempt) {
        if (instance.Send(command))
            return 0;
        claim = instance.ClaimName();
    }
    if (claim == kestrel::InstanceBus::Claim::Taken) {
        std::fprintf(stderr, "kestrel: the Kestrel running on these settings does not answer\n");
        return 1;
    }

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
    instance.SetOnCommand([&mainForm](kestrel::InstanceCommand c) { mainForm.RunCommand(c); });
    mainForm.show();
    if (command == kestrel::InstanceCommand::Settings)
        QTimer::singleShot(0, &mainForm, [&mainForm] { mainForm.mnSetupParameterClick(); });
    // An end asked for while the start-up still ran (the weekend rule's queued quit, served by a
    // nested event loop) happened before exec() and would be lost: exit() needs a running loop.
    if (mainForm.Quitting())
        return 0;
    return QApplication::exec();
}
