// Shows the settings dialog on the files of KESTREL_HOME, for setup-screenshot.sh:
//   setup_demo PAGE         the dialog open on page PAGE (0 to 5)
//   setup_demo font|color   page 2 with the font or the colour chooser open over it
//   setup_demo big|toobig   page 2 after choosing a 48 pt font, or 200 pt with its message
//   setup_demo hotkey       page 1 after a bare Z was refused
// Prints "ready" once the dialog (and the chooser) is on screen.
#include <QApplication>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

#include "platform/programfiles.h"
#include "ui/mainwindow/session.h"
#include "ui/settings/setupform.h"

int main(int argc, char** argv) {
    using namespace kestrel;
    QApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("0");
    const ProgramFiles files = ResolveProgramFiles(QCoreApplication::applicationFilePath());
    InstallTranslations(ReadUiLanguage(files.IniPath));
    // A page as after a download: gold and one rate have a price.
    const auto quoteFor = [](const QString& name) -> long double {
        if (name == QStringLiteral("现货黄金"))
            return 1650.25L;
        return name == QStringLiteral("欧元美元") ? 1.1602L : 0;
    };
    TSetupForm form(files, WindowFontDesc(), quoteFor, nullptr);
    const bool chooser = what == QStringLiteral("font") || what == QStringLiteral("color") ||
                         what == QStringLiteral("big") || what == QStringLiteral("toobig");
    form.PageControl->setCurrentIndex(chooser                            ? 2
                                      : what == QStringLiteral("hotkey") ? 1
                                                                         : what.toInt());
    if (what == QStringLiteral("big") || what == QStringLiteral("toobig")) {
        form.ChooseFont = [&what](FontDesc& font) {
            font.Size = what == QStringLiteral("big") ? 48 : 200;
            return true;
        };
    }
    const auto ready = [] {
        std::printf("ready\n");
        std::fflush(stdout);
    };
    QTimer::singleShot(500, [&] {
        if (what == QStringLiteral("hotkey")) {
            form.hkHotKey->setFocus();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, QStringLiteral("z"));
            QApplication::sendEvent(form.hkHotKey, &press);
        }
        if (!chooser) {
            ready();
            return;
        }
        QTimer::singleShot(500, ready);
        if (what != QStringLiteral("color"))
            form.btMemoFontClick();
        else
            form.btMemoColorClick();
    });
    form.show();
    return QApplication::exec();
}
