// Whether the computer is online, the program that opens web pages, and opening a URL.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace kestrel {

// What these functions ask of the desktop: commands to run, programs to start, URLs to open.
class IDesktopCommands {
public:
    virtual ~IDesktopCommands() = default;
    // Runs a program to its end; its standard output, nullopt when it cannot run or fails.
    virtual std::optional<QByteArray> Output(const QString& program,
                                             const QStringList& arguments) = 0;
    // Starts a program that lives on by itself.
    virtual bool StartDetached(const QString& program, const QStringList& arguments) = 0;
    // Opens a URL with the desktop's handler for it.
    virtual bool OpenUrl(const QUrl& url) = 0;
};

// The real desktop: QProcess and QDesktopServices.
IDesktopCommands& SystemDesktopCommands();

// Whether the computer is online, as the system's network information says (the network
// module's answer: Qt Network comes in with it); false when the module cannot be loaded.
bool IsInternetConnected();

// The program registered for files with the extension (".html"): the desktop entry that
// xdg-mime names as the default for its MIME type, reduced to the program of its Exec line.
// Empty for "" and ".", and whenever something on the way is missing.
QString FindAssociatedProgram(const QString& extension,
                              IDesktopCommands& desktop = SystemDesktopCommands());

// Opens the URL ("http://" put in front when it has no "://"): with the flag, in the program
// registered for ".html" when there is one, started with the URL as its only argument; otherwise
// with the desktop's handler for URLs. False when nothing could be started.
bool OpenURL(const QString& url, bool useAssociatedBrowser,
             IDesktopCommands& desktop = SystemDesktopCommands());

}  // namespace kestrel
