#include "fetch.h"

#include <curl/curl.h>

namespace kestrel::gateway {

using namespace feeds;

namespace {

struct Transfer {
    std::string* Body;
    const std::function<bool()>* Stopped;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Transfer*>(user)->Body;
    if (body->size() + size * count > size_t(kMaxAnswerBytes))
        return 0;
    body->append(data, size * count);
    return size * count;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return (*static_cast<Transfer*>(user)->Stopped)() ? 1 : 0;
}

}  // namespace

Answer Fetch(const std::string& url, SourceKind kind, const std::string& proxy,
             const std::function<bool()>& stopped) {
    Answer answer;
    CURL* curl = curl_easy_init();
    if (!curl) {
        answer.Error = "cannot start a transfer";
        return answer;
    }
    Transfer transfer{&answer.Body, &stopped};
    curl_slist* headers = nullptr;
    for (const std::string& line : RequestHeaders(kind))
        headers = curl_slist_append(headers, line.c_str());
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kBrowserAgent);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (!proxy.empty())
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.Status);
    else
        answer.Error = error[0] ? error : curl_easy_strerror(code);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    return answer;
}

}  // namespace kestrel::gateway
