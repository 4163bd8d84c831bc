// kestrel-update-helper: started by Kestrel at the end of an online upgrade, it waits until
// Kestrel has ended, puts the downloaded files in place and starts Kestrel again.
#include <QApplication>
#include <QMessageBox>

#include <cstdio>

#include "updatehelper/updatehelper.h"

namespace {

const char kCaption[] = "Kestrel Update Helper";
const char kAbout[] = QT_TRANSLATE_NOOP(
    "UpdateHelper",
    "本程序由 Kestrel 在线升级时自动启动：等 Kestrel 退出后，用下载的新文件替换旧文件，"
    "然后重新启动 Kestrel。\n\n无需手动运行本程序。");

QString About() {
    return QCoreApplication::translate("UpdateHelper", kAbout);
}

// Answers 0 when started without arguments (someone wanted to know what it is), 1 otherwise.
int ShowAbout(int argc, char** argv) {
    const int code = argc > 1 ? 1 : 0;
    const bool display = qEnvironmentVariableIsSet("DISPLAY") ||
                         qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                         qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    if (!display) {
        std::fprintf(stderr, "%s\n%s\n", kCaption, About().toUtf8().constData());
        return code;
    }
    QApplication app(argc, argv);
    QMessageBox::information(nullptr, QString::fromUtf8(kCaption), About());
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const kestrel::helper::HelperCommand command = kestrel::helper::ParseHelperCommandLine(args);
    if (!command.valid)
        return ShowAbout(argc, argv);
    QCoreApplication app(argc, argv);
    return kestrel::helper::RunUpdate(command);
}
