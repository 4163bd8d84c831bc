// A session bus of the test's own: a dbus-daemon without service folders, so that a name nobody
// owns stays unowned and nothing is started on demand, as on a desktop without the service.
#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace kestrel::test {

// Starts the daemon in `daemon`, its socket and configuration in `dir`; its address, or empty
// when it did not come up.
inline QString StartPrivateBus(QProcess& daemon, const QTemporaryDir& dir) {
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return {};
    config.write("<busconfig><type>session</type><listen>unix:tmpdir=" + dir.path().toUtf8() +
                 "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                 "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                 "<allow own=\"*\"/></policy></busconfig>");
    config.close();
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    if (!daemon.waitForReadyRead(10000))
        return {};
    return QString::fromUtf8(daemon.readLine().trimmed());
}

}  // namespace kestrel::test
