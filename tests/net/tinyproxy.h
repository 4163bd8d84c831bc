// tinyproxy on a loopback port of its own for the duration of a test, optionally asking for a
// Basic login. It marks what it forwards with "Via: ... kestrel-test".
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace kestrel::test {

class Tinyproxy {
public:
    static QString Binary() {
        return QStandardPaths::findExecutable("tinyproxy", {"/usr/bin", "/usr/sbin"});
    }

    // Starts it with its configuration in folder; basicAuth "user pass" asks for that login.
    // False when it does not accept connections within a few seconds.
    bool Start(const QString& folder, const QByteArray& basicAuth = {}) {
        Port = FreePort();
        const QString conf = folder + "/tinyproxy.conf";
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        QByteArray text = "Port " + QByteArray::number(Port) +
                          "\nListen 127.0.0.1\nTimeout 10\nMaxClients 10\nAllow 127.0.0.1\n"
                          "LogLevel Critical\nViaProxyName \"kestrel-test\"\n";
        if (!basicAuth.isEmpty())
            text += "BasicAuth " + basicAuth + "\n";
        f.write(text);
        f.close();
        process_.start(Binary(), {"-d", "-c", conf});
        if (!process_.waitForStarted())
            return false;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 3000) {
            if (Accepts())
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    ~Tinyproxy() {
        process_.terminate();
        process_.waitForFinished(2000);
    }

    int Port = 0;

private:
    static sockaddr_in Loopback(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(quint16(port));
        return a;
    }

    static int FreePort() {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Loopback(0);
        socklen_t size = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
        ::close(s);
        return ntohs(a.sin_port);
    }

    bool Accepts() const {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Loopback(Port);
        const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(s);
        return ok;
    }

    QProcess process_;
};

}  // namespace kestrel::test
