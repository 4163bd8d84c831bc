// A private X server for the tests that need real X11: Xvfb on a display it picks itself,
// optionally with a window manager, stopped when the object goes.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>
#include <cstdlib>

extern char** environ;

namespace kestrel::test {

class XServer {
public:
    // Starts before the application object, so that Qt connects to this display. A server that
    // announces its display and then cannot be reached is replaced, up to three times.
    XServer() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            Missing = QStringLiteral("Xvfb is not installed");
            return;
        }
        for (int attempt = 0; attempt < 3 && Display.isEmpty(); ++attempt)
            StartXvfb(xvfb.toLocal8Bit());
        if (Display.isEmpty())
            return;
        setenv("DISPLAY", Display.toLatin1().constData(), 1);
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }

    ~XServer() {
        Stop(wmPid_);
        Stop(xvfbPid_);
    }

    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Running() const { return !Display.isEmpty(); }

    // Starts the window manager and waits until it has announced itself on the root window.
    // One that ends before that is started once more; Missing says what went wrong.
    bool StartWindowManager(const QString& program) {
        const QString found = QStandardPaths::findExecutable(program);
        if (!Running() || found.isEmpty()) {
            Missing = program + QStringLiteral(" is not installed");
            return false;
        }
        const QByteArray path = found.toLocal8Bit();
        for (int attempt = 0; attempt < 2; ++attempt) {
            const char* argv[] = {path.constData(), nullptr};
            if (posix_spawn(&wmPid_, path.constData(), nullptr, nullptr,
                            const_cast<char* const*>(argv), environ) != 0) {
                wmPid_ = 0;
                Missing = program + QStringLiteral(" could not be started");
                return false;
            }
            // The work area is among the last things a window manager announces; a window
            // mapped before that may be adopted half-way and never framed.
            for (int i = 0; i < 100 && !Ended(wmPid_); ++i) {
                if (Run({QStringLiteral("xprop"), QStringLiteral("-root"),
                         QStringLiteral("_NET_SUPPORTING_WM_CHECK"),
                         QStringLiteral("_NET_WORKAREA")})
                        .contains("_NET_WORKAREA(CARDINAL)")) {
                    QThread::msleep(200);
                    return true;
                }
                QThread::msleep(50);
            }
            Stop(wmPid_);
        }
        Missing = program + QStringLiteral(" did not come up on ") + Display +
                  (Ended(xvfbPid_) ? QStringLiteral(", and Xvfb has ended") : QString());
        return false;
    }

    // Runs a client of this display to its end and returns what it printed.
    static QByteArray Run(const QStringList& command) {
        QProcess process;
        process.start(command.first(), command.mid(1));
        process.waitForFinished(10000);
        return process.readAllStandardOutput();
    }

    QString Display;
    QString Missing;  // why there is no display, for the skip message

private:
    void StartXvfb(const QByteArray& path) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return;
        const QByteArray fd = QByteArray::number(pipeFds[1]);
        // -noreset: the probe below is the first client, and its leaving must not reset the
        // server under the next one.
        const char* argv[] = {path.constData(), "-displayfd", fd.constData(), "-screen",  "0",
                              "1920x1080x24",   "-nolisten",  "tcp",          "-noreset", nullptr};
        if (posix_spawn(&xvfbPid_, path.constData(), nullptr, nullptr,
                        const_cast<char* const*>(argv), environ) != 0) {
            xvfbPid_ = 0;
        }
        close(pipeFds[1]);
        QByteArray number;
        char c;
        while (xvfbPid_ && read(pipeFds[0], &c, 1) == 1 && c != '\n')
            number.append(c);
        close(pipeFds[0]);
        if (number.isEmpty()) {
            Missing = QStringLiteral("Xvfb did not start");
            Stop(xvfbPid_);
            return;
        }
        const QString display = QStringLiteral(":") + QString::fromLatin1(number);
        // Xvfb names its display once it listens; a client must also get through.
        for (int i = 0; i < 50 && !Ended(xvfbPid_); ++i) {
            QProcess probe;
            probe.start(QStringLiteral("xprop"),
                        {QStringLiteral("-display"), display, QStringLiteral("-root"),
                         QStringLiteral("-len"), QStringLiteral("0")});
            if (probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit &&
                probe.exitCode() == 0) {
                Display = display;
                return;
            }
            QThread::msleep(100);
        }
        Missing = QStringLiteral("no X client reaches Xvfb on ") + display;
        Stop(xvfbPid_);
    }

    // Whether the child has ended (and is reaped).
    static bool Ended(pid_t& pid) {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid)
            pid = 0;
        return pid <= 0;
    }

    static void Stop(pid_t& pid) {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        pid = 0;
    }

    pid_t xvfbPid_ = 0;
    pid_t wmPid_ = 0;
};

}  // namespace kestrel::test
