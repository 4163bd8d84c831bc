// Runs kestrel-quoted on an ephemeral loopback port for the duration of a test.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace kestrel::test {

class QuoteServer {
public:
    explicit QuoteServer(QStringList arguments = {}) {
        process_.setProgram(QStringLiteral(KESTREL_BINARY_DIR "/bin/kestrel-quoted"));
        process_.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                                          QStringLiteral("--source"), QStringLiteral("walk")} +
                              arguments);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        // The server says where it listens once it is ready.
        static const QRegularExpression listening(QStringLiteral(":(\\d+)/"));
        QByteArray out;
        while (process_.waitForReadyRead(5000)) {
            out += process_.readAllStandardOutput();
            if (const auto m = listening.match(QString::fromUtf8(out)); m.hasMatch()) {
                port_ = m.captured(1).toInt();
                break;
            }
        }
    }
    ~QuoteServer() { Stop(); }
    QuoteServer(const QuoteServer&) = delete;
    QuoteServer& operator=(const QuoteServer&) = delete;

    void Stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(1000);
    }

    int Port() const { return port_; }
    QString RatesUrl(const QString& query = {}) const {
        return QStringLiteral("http://127.0.0.1:%1/rates/index.aspx").arg(port_) +
               (query.isEmpty() ? QString() : QStringLiteral("?") + query);
    }

private:
    QProcess process_;
    int port_ = 0;
};

}  // namespace kestrel::test
