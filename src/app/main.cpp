#include <QApplication>
#include <QFile>
#include <QIcon>

#include "alarm/alarmform.h"
#include "app/cli.h"
#include "app/mainform.h"
#include "app/session.h"
#include "platform/hotkeylock.h"
#include "platform/linux/x11hotkey.h"
#include "platform/linux/xdgshortcuts.h"
#include "platform/programfiles.h"
#include "platform/sound.h"
#include "platform/trayshell.h"
#include "platform/windowservices.h"

int main(int argc, char* argv[]) {
    // Command-line modes need neither a display nor a window.
    if (const auto code = kestrel::RunCommandLine(argc, argv))
        return *code;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kestrel.svg")));
    // The window lives on in the tray when it is hidden; only 退出 ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    kestrel::InstallToolkitTranslations();
    kestrel::InstallPlatformServices();
    kestrel::QuitOnTerminationSignals();

    const kestrel::ProgramFiles files =
        kestrel::ResolveProgramFiles(QCoreApplication::applicationFilePath());
    kestrel::DesktopWindowServices window;
    kestrel::X11HotKeyService hotKey;
    kestrel::HotKeyAtom atom;
    kestrel::SoundEffectPlayer sound;
    QFile icon(QStringLiteral(":/icons/kestrel.svg"));
    kestrel::XdgShortcutService shortcuts(icon.open(QIODevice::ReadOnly) ? icon.readAll()
                                                                         : QByteArray());

    kestrel::TMainForm mainForm(
        files, {&window, &hotKey, std::make_unique<kestrel::SystemTrayShell>(), &atom, &shortcuts},
        QCoreApplication::arguments());
    kestrel::TAlarmForm alarmForm(&sound, files.WavPath, files.IniPath);
    window.HideFromTaskbar(&alarmForm);
    alarmForm.OnAlarmClosed = [&mainForm] { mainForm.Alarm.UseMonitor = false; };
    mainForm.SetAlarmForm(&alarmForm);
    mainForm.show();
    // An end asked for while the start-up still ran (the weekend rule's queued quit, served by a
    // nested event loop) happened before exec() and would be lost: exit() needs a running loop.
    if (mainForm.Quitting())
        return 0;
    return QApplication::exec();
}
