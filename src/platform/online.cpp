#include "platform/online.h"

#include <QDesktopServices>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

#include "net/commandline.h"
#include "platform/networkmodule.h"

namespace kestrel {

namespace {

class SystemCommands : public IDesktopCommands {
public:
    std::optional<QByteArray> Output(const QString& program,
                                     const QStringList& arguments) override {
        QProcess process;
        process.start(program, arguments, QIODevice::ReadOnly);
        // xdg-mime answers at once; a hung helper must not freeze the caller for long.
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(1000);
            return std::nullopt;
        }
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            return std::nullopt;
        }
        return process.readAllStandardOutput();
    }

    bool StartDetached(const QString& program, const QStringList& arguments) override {
        return QProcess::startDetached(program, arguments);
    }

    bool OpenUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

// The Exec line of a desktop entry's [Desktop Entry] group; empty when it has none.
QString DesktopEntryExec(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]";
        } else if (inEntry && line.startsWith(u"Exec")) {
            const QString key = line.section(u'=', 0, 0).trimmed();
            if (key == u"Exec")
                return line.section(u'=', 1).trimmed();
        }
    }
    return {};
}

}  // namespace

IDesktopCommands& SystemDesktopCommands() {
    static SystemCommands commands;
    return commands;
}

bool IsInternetConnected() {
    return NetworkModuleSaysOnline();
}

QString FindAssociatedProgram(const QString& extension, IDesktopCommands& desktop) {
    if (extension.size() < 2 || !extension.startsWith(u'.'))
        return {};
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("file") + extension,
                                                           QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return {};
    const std::optional<QByteArray> answer =
        desktop.Output(QStringLiteral("xdg-mime"),
                       {QStringLiteral("query"), QStringLiteral("default"), type.name()});
    if (!answer)
        return {};
    const QString entry = QString::fromUtf8(*answer).section(u'\n', 0, 0).trimmed();
    if (entry.isEmpty() || entry.contains(u'/'))
        return {};
    const QString path = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                QStringLiteral("applications/") + entry);
    if (path.isEmpty())
        return {};
    QString program, parameters;
    SplitCommandLine(DesktopEntryExec(path), program, parameters);
    return program;
}

bool OpenURL(const QString& url, bool useAssociatedBrowser, IDesktopCommands& desktop) {
    const QString full = url.contains(u"://") ? url : QStringLiteral("http://") + url;
    if (useAssociatedBrowser) {
        const QString program = FindAssociatedProgram(QStringLiteral(".html"), desktop);
        if (!program.isEmpty())
            return desktop.StartDetached(program, {full});
    }
    return desktop.OpenUrl(QUrl(full, QUrl::TolerantMode));
}

}  // namespace kestrel
