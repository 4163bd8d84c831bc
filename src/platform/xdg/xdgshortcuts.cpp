#include "platform/xdg/xdgshortcuts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

#include "net/files.h"

namespace kestrel {

namespace {

QString HomeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    return home.isEmpty() ? QDir::homePath() : home;
}

// An XDG base folder: the variable when it holds an absolute path (a relative one is to be
// ignored), else the fallback below the home folder.
QString BaseFolder(const char* variable, const char* fallback) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(HomeFolder() + u'/' + QLatin1String(fallback));
}

constexpr char kInstalledEntry[] = "org.example.kestrel.desktop";

// The entry that the package and `cmake --install` put in the system's application folders.
QString InstalledEntry() {
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts)) {
        if (!QDir::isAbsolutePath(dir))
            continue;
        const QString path = QDir::cleanPath(dir) + QStringLiteral("/applications/") +
                             QLatin1String(kInstalledEntry);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

QString AutostartFolder() {
    return BaseFolder("XDG_CONFIG_HOME", ".config") + QStringLiteral("/autostart");
}

QString ApplicationsFolder() {
    return BaseFolder("XDG_DATA_HOME", ".local/share") + QStringLiteral("/applications");
}

QString DesktopFolder() {
    // Qt reads user-dirs.dirs below XDG_CONFIG_HOME as xdg-user-dir does, with ~/Desktop as
    // the fallback, without starting a process.
    const QString desktop =
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    // A desktop set to the home folder means the user has switched it off; one that does not
    // exist is not made, since the desktop would not show it.
    if (desktop.isEmpty() || desktop == QDir::cleanPath(HomeFolder()) ||
        !QFileInfo(desktop).isDir())
        return {};
    return desktop;
}

// The escapes of a string value in a desktop entry.
QString EscapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        switch (c.unicode()) {
            case u'\\':
                out += QStringLiteral("\\\\");
                break;
            case u'\n':
                out += QStringLiteral("\\n");
                break;
            case u'\t':
                out += QStringLiteral("\\t");
                break;
            case u'\r':
                out += QStringLiteral("\\r");
                break;
            default:
                out += c;
        }
    }
    if (out.startsWith(u' '))
        out.replace(0, 1, QStringLiteral("\\s"));
    return out;
}

}  // namespace

QString DesktopExecArgument(const QString& arg) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool quote = arg.isEmpty() || std::any_of(arg.cbegin(), arg.cend(),
                                                    [](QChar c) { return reserved.contains(c); });
    QString out;
    for (const QChar c : arg) {
        if (c == u'%')
            out += QStringLiteral("%%");  // a single % would start a field code
        else if (quote && (c == u'"' || c == u'`' || c == u'$' || c == u'\\'))
            out += u'\\' + QString(c);
        else
            out += c;
    }
    return EscapeValue(quote ? u'"' + out + u'"' : out);
}

XdgShortcutService::XdgShortcutService(QByteArray iconSvg) : iconSvg_(std::move(iconSvg)) {}

QString XdgShortcutService::GetSpecialFolderPath(TShortcutFolder folder) {
    switch (folder) {
        case TShortcutFolder::Startup:
            return AutostartFolder() + u'/';
        case TShortcutFolder::QuickLaunch:
            return ApplicationsFolder() + u'/';
        case TShortcutFolder::Desktop: {
            const QString desktop = DesktopFolder();
            return desktop.isEmpty() ? QString() : desktop + u'/';
        }
    }
    return {};
}

bool XdgShortcutService::RemoveFile(const QString& path) {
    return QFile::remove(path);
}

bool XdgShortcutService::MenuEntryInstalled() {
    return !InstalledEntry().isEmpty();
}

QString XdgShortcutService::InstalledProgram() {
    const QString entry = InstalledEntry();
    QFile file(entry);
    if (entry.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(QStringLiteral("Exec=")))
            continue;
        const QString program = line.mid(5).section(u' ', 0, 0, QString::SectionSkipEmpty);
        if (QDir::isAbsolutePath(program))
            return QFileInfo(program).isExecutable() ? program : QString();
        return QStandardPaths::findExecutable(program);
    }
    return {};
}

bool XdgShortcutService::FileExists(const QString& path) {
    // A dangling symbolic link still takes the name, so it counts as there.
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
}

QString XdgShortcutService::IconPath() const {
    return BaseFolder("XDG_DATA_HOME", ".local/share") +
           QStringLiteral("/icons/hicolor/scalable/apps/kestrel.svg");
}

bool XdgShortcutService::CreateShellLink(const QString& targetPath, const QString& workingDirectory,
                                         const QString& linkPath, const QString& arguments) {
    const QString folder = QFileInfo(linkPath).absolutePath();
    if (folder == AutostartFolder() || folder == ApplicationsFolder())
        QDir().mkpath(folder);

    QString icon;
    if (!iconSvg_.isEmpty()) {
        const QString iconPath = IconPath();
        // Written once: a user who put another picture there keeps it.
        if (!QFileInfo::exists(iconPath) && QDir().mkpath(QFileInfo(iconPath).absolutePath()))
            ReplaceFileBytes(iconPath, iconSvg_);
        if (QFileInfo::exists(iconPath))
            icon = iconPath;
    }

    QString exec = DesktopExecArgument(targetPath);
    if (!arguments.isEmpty())
        exec += u' ' + DesktopExecArgument(arguments);
    QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=Kestrel\n");
    // Once the program is gone (say removed with its package) menus hide the entry and the
    // session does not try to start it.
    entry += QStringLiteral("TryExec=") + EscapeValue(targetPath) + u'\n';
    entry += QStringLiteral("Exec=") + exec + u'\n';
    entry += QStringLiteral("Path=") + EscapeValue(workingDirectory) + u'\n';
    if (!icon.isEmpty())
        entry += QStringLiteral("Icon=") + EscapeValue(icon) + u'\n';
    entry += QStringLiteral("Terminal=false\n");
    if (folder == ApplicationsFolder())
        entry += QStringLiteral("Categories=Office;Finance;\n");
    entry += QStringLiteral("X-Kestrel-Created=true\n");
    if (!ReplaceFileBytes(linkPath, entry.toUtf8()))
        return false;

    // Desktops launch an entry on the desktop only when it is executable, so that a file
    // merely downloaded there cannot start a program by a double click.
    if (folder == DesktopFolder()) {
        return QFile::setPermissions(linkPath, QFile::permissions(linkPath) | QFile::ExeOwner |
                                                   QFile::ExeUser | QFile::ExeGroup |
                                                   QFile::ExeOther);
    }
    return true;
}

}  // namespace kestrel
