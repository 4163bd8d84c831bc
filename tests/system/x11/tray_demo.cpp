// Shows the tray icon on the desktop's real tray host: icon 0 for a few seconds, then icon 1.
// Used by tray-screenshot.sh; argv[1] and argv[2] are the seconds of each state.
#include <QApplication>
#include <QMenu>
#include <QTimer>
#include <cstdio>

#include "ui/tray/trayicon.h"

int main(int argc, char** argv) {
    using namespace kestrel;
    QApplication app(argc, argv);
    const int first = argc > 1 ? QString(argv[1]).toInt() : 4;
    const int second = argc > 2 ? QString(argv[2]).toInt() : 4;
    QMenu menu;
    menu.addAction(QStringLiteral("退出"), &app, &QApplication::quit);
    auto* tray = new TTrayIcon(&app, std::make_unique<SystemTrayShell>());
    tray->Icons()->Add(IconFromResource(QStringLiteral(":/icons/tray-normal.svg")));
    tray->Icons()->Add(IconFromResource(QStringLiteral(":/icons/tray-grey.svg")));
    tray->SetHint(QStringLiteral("Kestrel"));
    tray->SetPopupMenu(&menu);
    tray->SetIcon(*tray->Icons()->Get(0));
    std::printf("icon 0 %s\n", tray->Added() ? "in the tray" : "refused");
    std::fflush(stdout);
    QTimer::singleShot(first * 1000, [tray] {
        tray->SetIcon(*tray->Icons()->Get(1));
        std::printf("icon 1\n");
        std::fflush(stdout);
    });
    QTimer::singleShot((first + second) * 1000, &app, &QApplication::quit);
    return app.exec();
}
