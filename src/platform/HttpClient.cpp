#include "platform/HttpClient.h"

#include "platform/CurlLibrary.h"

#include <memory>

namespace dw {

namespace {

struct CurlCloser {
    const curl::Api* api;
    void operator()(CURL* c) const { api->easy_cleanup(c); }
};
using CurlPtr = std::unique_ptr<CURL, CurlCloser>;

struct Transfer {
    QByteArray body;
    int64_t maxBytes = 0;
    bool tooLarge = false;
    const std::atomic<bool>* stop = nullptr;
};

size_t onData(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (int64_t(t->body.size()) + int64_t(n) > t->maxBytes) {
        t->tooLarge = true;
        return 0;  // ends the transfer with CURLE_WRITE_ERROR
    }
    t->body.append(data, qsizetype(n));
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    // libcurl calls this about once a second while idle and far more often
    // while data moves; the low-speed poll below keeps idle waits short.
    auto* t = static_cast<Transfer*>(user);
    return t->stop && t->stop->load() ? 1 : 0;
}

QString hostOf(const QString& url)
{
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    QString rest = scheme < 0 ? url : url.mid(scheme + 3);
    const qsizetype end = rest.indexOf(QChar('/'));
    return end < 0 ? rest : rest.left(end);
}

QString describe(const curl::Api& api, CURLcode code, const char* detail, const HttpOptions& o, const QString& url)
{
    const QString where = o.proxyHost.isEmpty() ? hostOf(url) : o.proxyHost + ":" + QString::number(o.proxyPort);
    const QString why = QString::fromUtf8(detail && *detail ? detail : api.easy_strerror(code));
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("cannot resolve the host name of %1 (%2)").arg(hostOf(url), why);
    case CURLE_COULDNT_RESOLVE_PROXY:
        return QStringLiteral("cannot resolve the proxy name %1 (%2)").arg(where, why);
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("connection to %1 refused or unreachable (%2)").arg(where, why);
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("no complete answer from %1 in time (%2)").arg(where, why);
    default:
        return QStringLiteral("request to %1 failed (%2)").arg(where, why);
    }
}

HttpFailure kindOf(CURLcode code)
{
    switch (code) {
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL: return HttpFailure::BadUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return HttpFailure::Resolve;
    case CURLE_COULDNT_CONNECT: return HttpFailure::Refused;
    case CURLE_OPERATION_TIMEDOUT: return HttpFailure::TimedOut;
    default: return HttpFailure::Transfer;
    }
}

}  // namespace

HttpResult HttpGet(const QString& url, const HttpOptions& o)
{
    HttpResult result;
    QString missing;
    const curl::Api* api = curl::Load(&missing);
    if (!api) {
        result.failure = HttpFailure::Transfer;
        result.error = missing;
        return result;
    }
    CurlPtr curl(api->easy_init(), CurlCloser{api});
    if (!curl) {
        result.failure = HttpFailure::Transfer;
        result.error = QStringLiteral("cannot start an HTTP request (libcurl)");
        return result;
    }
    Transfer t;
    t.maxBytes = o.maxBytes;
    t.stop = o.stop;
    char detail[CURL_ERROR_SIZE] = {};
    const QByteArray u = url.toUtf8();
    const QByteArray agent = o.agent.toUtf8();
    const QByteArray proxy = o.proxyHost.toUtf8();
    CURL* c = curl.get();
    api->easy_setopt(c, CURLOPT_URL, u.constData());
    api->easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    api->easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    api->easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    api->easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    api->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    api->easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
    if (!agent.isEmpty())
        api->easy_setopt(c, CURLOPT_USERAGENT, agent.constData());
    if (!proxy.isEmpty()) {
        api->easy_setopt(c, CURLOPT_PROXY, proxy.constData());
        api->easy_setopt(c, CURLOPT_PROXYPORT, long(o.proxyPort));
    }
    api->easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(o.connectTimeoutMs));
    api->easy_setopt(c, CURLOPT_TIMEOUT_MS, long(o.totalTimeoutMs));
    api->easy_setopt(c, CURLOPT_WRITEFUNCTION, onData);
    api->easy_setopt(c, CURLOPT_WRITEDATA, &t);
    api->easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    api->easy_setopt(c, CURLOPT_XFERINFOFUNCTION, onProgress);
    api->easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    if (o.maxBytes >= 0)
        api->easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(o.maxBytes));

    // libcurl calls the progress function only about once a second on a
    // silent connection, too seldom for a stop within 200 ms. The multi
    // interface waits in short steps and checks the flag between them.
    struct MultiCloser {
        const curl::Api* api;
        void operator()(CURLM* m) const { api->multi_cleanup(m); }
    };
    std::unique_ptr<CURLM, MultiCloser> multi(api->multi_init(), MultiCloser{api});
    CURLcode code = CURLE_OK;
    if (!multi) {
        code = api->easy_perform(c);
    } else {
        api->multi_add_handle(multi.get(), c);
        int running = 1;
        bool stopped = false;
        while (running) {
            if (api->multi_perform(multi.get(), &running) != CURLM_OK)
                break;
            if (!running)
                break;
            if (o.stop && o.stop->load()) {
                stopped = true;
                break;
            }
            api->multi_poll(multi.get(), nullptr, 0, 50, nullptr);
        }
        int left = 0;
        code = CURLE_OK;
        if (stopped) {
            code = CURLE_ABORTED_BY_CALLBACK;
        } else {
            while (CURLMsg* msg = api->multi_info_read(multi.get(), &left))
                if (msg->msg == CURLMSG_DONE && msg->easy_handle == c)
                    code = msg->data.result;
        }
        api->multi_remove_handle(multi.get(), c);
    }
    api->easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.status);
    result.body = std::move(t.body);

    if (o.stop && o.stop->load()) {
        result.failure = HttpFailure::Stopped;
        result.error = QStringLiteral("the request was stopped");
    } else if (t.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        result.failure = HttpFailure::TooLarge;
        result.error = QStringLiteral("the answer from %1 is larger than %2 bytes").arg(hostOf(url)).arg(o.maxBytes);
    } else if (code != CURLE_OK) {
        result.failure = kindOf(code);
        result.error = describe(*api, code, detail, o, url);
    } else if (result.status >= 400) {
        result.failure = HttpFailure::HttpStatus;
        result.error = QStringLiteral("%1 answered with HTTP status %2").arg(hostOf(url)).arg(result.status);
    }
    return result;
}

}  // namespace dw
