// A loopback HTTP server whose rates page a test sets line by line, so that rises, falls, bad
// data, errors and slow answers come exactly when the test wants them.
#pragma once

#include <httplib.h>

#include <QString>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "text/encodings.h"

namespace kestrel::test {

class PageServer {
public:
    PageServer() {
        server_.Get("/rates/index.aspx", [this](const httplib::Request&, httplib::Response& res) {
            hits_.fetch_add(1);
            std::unique_lock lock(mutex_);
            // A held answer waits until the test releases it or the server stops.
            released_.wait(lock, [this] { return !hold_ || stopping_; });
            res.status = status_;
            for (const auto& [name, value] : headers_)
                res.set_header(name, value);
            res.set_content(body_, contentType_);
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // A stop() that comes before the loop runs is lost and the join would wait for ever.
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PageServer() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        released_.notify_all();
        server_.stop();
        thread_.join();
    }
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    QString Url() const {
        return QStringLiteral("http://127.0.0.1:%1/rates/index.aspx").arg(port_);
    }
    int Hits() const { return hits_.load(); }

    // The page body as GBK bytes; status 200 unless told otherwise.
    void SetPage(const QString& page, int status = 200) {
        const QByteArray bytes = ToCp936(page);
        std::lock_guard lock(mutex_);
        body_.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
        status_ = status;
    }
    void SetContentType(const std::string& contentType) {
        std::lock_guard lock(mutex_);
        contentType_ = contentType;
    }
    // An extra header line of every answer from now on.
    void SetHeader(const std::string& name, const std::string& value) {
        std::lock_guard lock(mutex_);
        headers_[name] = value;
    }
    void Hold(bool hold) {
        {
            std::lock_guard lock(mutex_);
            hold_ = hold;
        }
        released_.notify_all();
    }

    // A rates page quoting the given instruments; a price of 0 leaves the row without a number.
    static QString RatesPage(const QList<QPair<QString, double>>& prices) {
        QString page = QStringLiteral("<html><body>\r\n<div>head</div>\r\n<td>货币走势图</td>\r\n");
        for (const auto& [name, price] : prices) {
            page += QStringLiteral("<tr><td><a title=\"%1\">%1</a></td>\r\n").arg(name);
            page += price == 0 ? QStringLiteral("<td>--</td>\r\n")
                               : QStringLiteral("<td>%1</td>\r\n").arg(price, 0, 'f', 4);
            // The parser reads up to eleven lines after a title: keep the next row out of reach.
            for (int i = 0; i < 11; ++i)
                page += QStringLiteral("<td>--</td>\r\n");
        }
        page += QStringLiteral("</body></html>\r\n");
        return page;
    }

private:
    httplib::Server server_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable released_;
    std::string body_;
    std::string contentType_ = "text/html; charset=gb2312";
    std::map<std::string, std::string> headers_;
    int status_ = 200;
    bool hold_ = false;
    bool stopping_ = false;
    int port_ = 0;
    std::atomic<int> hits_{0};
};

}  // namespace kestrel::test
