#include "services/HttpClient.h"

#include "BuildConfig.h"
#include "platform/Exception.h"

#include "services/CurlLibrary.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

void GlobalInit()
{
    Curl(); // loads and initialises the library once
}

struct TCurlDeleter
{
    void operator()(CURL* h) const { Curl().easy_cleanup(h); }
};
struct TSlistDeleter
{
    void operator()(curl_slist* l) const { Curl().slist_free_all(l); }
};

enum class TAbort { None, SendTimeout, ReceiveTimeout, Deadline, TooLarge, Cancelled };

// State of one transfer, shared with libcurl's callbacks.
struct TTransfer
{
    CURL* Handle = nullptr;
    const THttpRequest* Request = nullptr;
    QByteArray Body;
    TAbort Abort = TAbort::None;
    curl_off_t LastUp = -1;
    curl_off_t LastDown = -1;
    Clock::time_point LastProgress = Clock::now();
    Clock::time_point Deadline = Clock::time_point::max();
};

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    auto* t = static_cast<TTransfer*>(user);
    const size_t n = size * count;
    if (t->Body.size() + qint64(n) > t->Request->MaxBodyBytes) {
        t->Abort = TAbort::TooLarge;
        return 0; // makes libcurl stop with CURLE_WRITE_ERROR
    }
    t->Body.append(data, qsizetype(n));
    return n;
}

// Watches the send and receive time-outs: libcurl has only a connect time-out and a total
// time-out, while a pause of more than the limit in either direction must end the call.
int Progress(void* user, curl_off_t /*dltotal*/, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow)
{
    auto* t = static_cast<TTransfer*>(user);
    if (t->Request->Cancel && t->Request->Cancel->load()) {
        t->Abort = TAbort::Cancelled;
        return 1;
    }
    const auto now = Clock::now();
    if (now >= t->Deadline) {
        t->Abort = TAbort::Deadline;
        return 1;
    }
    curl_off_t pretransfer = 0;
    Curl().easy_getinfo(t->Handle, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    if (pretransfer == 0) {
        // Still connecting: CURLOPT_CONNECTTIMEOUT_MS is in charge.
        t->LastProgress = now;
        return 0;
    }
    if (ulnow != t->LastUp || dlnow != t->LastDown) {
        t->LastUp = ulnow;
        t->LastDown = dlnow;
        t->LastProgress = now;
        return 0;
    }
    const bool sending = ulnow < ultotal;
    const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - t->LastProgress).count();
    if (sending && idle > t->Request->SendTimeoutMs) {
        t->Abort = TAbort::SendTimeout;
        return 1;
    }
    if (!sending && idle > t->Request->ReceiveTimeoutMs) {
        t->Abort = TAbort::ReceiveTimeout;
        return 1;
    }
    return 0;
}

[[noreturn]] void Fail(const char* format, long code, const QString& text)
{
    throw Exception(QString::fromUtf8(format).arg(code).arg(text));
}

[[noreturn]] void RaiseTransferError(const TTransfer& t, CURLcode rc, const char* errorBuffer)
{
    static const char* kSend = "Fehler beim Senden der Daten: (%1) %2";
    static const char* kReceive = "Fehler beim Empfangen der Daten: (%1) %2";
    static const char* kRead = "Fehler beim Lesen der Daten: (%1) %2";

    const QString text = errorBuffer[0] ? QString::fromLocal8Bit(errorBuffer).trimmed()
                                        : QString::fromUtf8(Curl().easy_strerror(rc));
    const QString timeoutText = QString::fromUtf8(Curl().easy_strerror(CURLE_OPERATION_TIMEDOUT));

    TAbort abort = t.Abort;
    if (abort == TAbort::None && rc == CURLE_OPERATION_TIMEDOUT && Clock::now() >= t.Deadline)
        abort = TAbort::Deadline;
    switch (abort) {
    case TAbort::SendTimeout:
        Fail(kSend, CURLE_OPERATION_TIMEDOUT, timeoutText);
    case TAbort::ReceiveTimeout:
        Fail(kReceive, CURLE_OPERATION_TIMEDOUT, timeoutText);
    case TAbort::Deadline:
        Fail(kReceive, CURLE_OPERATION_TIMEDOUT,
             QStringLiteral("Keine vollständige Antwort innerhalb von %1 Sekunden.").arg(t.Request->TotalTimeoutMs / 1000));
    case TAbort::TooLarge:
        throw Exception(QStringLiteral("Die Antwort des Dienstes ist größer als %1 MiB und wird nicht angenommen.")
                            .arg(t.Request->MaxBodyBytes / (1024 * 1024)));
    case TAbort::Cancelled:
        throw Exception(QStringLiteral("Die Anfrage wurde abgebrochen."));
    case TAbort::None:
        break;
    }

    if (rc == CURLE_PEER_FAILED_VERIFICATION)
        throw Exception(QStringLiteral("Serverzertifikat ungültig oder nicht vorhanden"));
    if (rc == CURLE_SEND_ERROR)
        Fail(kSend, rc, text);

    // Otherwise the phase in which the transfer broke decides: before the connection
    // stood, while waiting for the answer, or while reading it.
    curl_off_t pretransfer = 0;
    curl_off_t starttransfer = 0;
    Curl().easy_getinfo(t.Handle, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
    Curl().easy_getinfo(t.Handle, CURLINFO_STARTTRANSFER_TIME_T, &starttransfer);
    if (pretransfer == 0)
        Fail(kSend, rc, text);
    if (starttransfer == 0 || t.Body.isEmpty())
        Fail(rc == CURLE_PARTIAL_FILE ? kRead : kReceive, rc, text);
    Fail(kRead, rc, text);
}

bool IsRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The scheme of url as libcurl itself reads it, lower case; empty when it cannot be read.
QByteArray SchemeOf(const QByteArray& url)
{
    CURLU* u = Curl().url();
    if (!u)
        return {};
    QByteArray scheme;
    char* part = nullptr;
    if (Curl().url_set(u, CURLUPART_URL, url.constData(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK
        && Curl().url_get(u, CURLUPART_SCHEME, &part, 0) == CURLUE_OK) {
        scheme = QByteArray(part).toLower();
        Curl().free(part);
    }
    Curl().url_cleanup(u);
    return scheme;
}

// Only https is spoken: no other scheme is ever contacted, neither as the address nor as
// the target of a redirect (a downgrade to http would send the invoice in clear text, a
// file: URL would read a local file as the answer).
void RequireHttps(const QByteArray& url, bool redirect)
{
    if (SchemeOf(url) == "https")
        return;
    QString shown = QString::fromUtf8(url);
    if (shown.size() > 200)
        shown = shown.left(200) + QStringLiteral("…");
    throw Exception((redirect ? QStringLiteral("Umleitung auf %1 abgelehnt: nur HTTPS-Adressen sind erlaubt.")
                              : QStringLiteral("Adresse %1 abgelehnt: nur HTTPS-Adressen sind erlaubt."))
                        .arg(shown));
}

} // namespace

QByteArray DefaultUserAgent()
{
    return QByteArrayLiteral("PALUDRA-ERechnungsEingang/" ERECHNUNG_VERSION_TEXT);
}

THttpResponse HttpPerform(const THttpRequest& request)
{
    GlobalInit();
    std::unique_ptr<CURL, TCurlDeleter> handle(Curl().easy_init());
    if (!handle)
        Fail("Fehler beim Senden der Daten: (%1) %2", CURLE_FAILED_INIT,
             QString::fromUtf8(Curl().easy_strerror(CURLE_FAILED_INIT)));
    CURL* h = handle.get();

    char errorBuffer[CURL_ERROR_SIZE];
    TTransfer transfer;
    transfer.Handle = h;
    transfer.Request = &request;

    Curl().easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    Curl().easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    Curl().easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    Curl().easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    Curl().easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https");
    Curl().easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    Curl().easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(request.ConnectTimeoutMs));
    Curl().easy_setopt(h, CURLOPT_USERAGENT, request.UserAgent.isEmpty() ? nullptr : request.UserAgent.constData());
    Curl().easy_setopt(h, CURLOPT_WRITEFUNCTION, &WriteBody);
    Curl().easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    Curl().easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    Curl().easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Progress);
    Curl().easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    Curl().easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    Curl().easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    const QByteArray caFile = request.CaFile.toLocal8Bit();
    if (!caFile.isEmpty())
        Curl().easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    if (request.Cookies)
        Curl().easy_setopt(h, CURLOPT_COOKIEFILE, ""); // cookie engine on, nothing read from disk
    // libcurl answers an http_proxy/https_proxy/no_proxy environment on its own.

    const bool ownAccept = std::any_of(request.ExtraHeaders.begin(), request.ExtraHeaders.end(),
                                       [](const QByteArray& h) { return h.toLower().startsWith("accept:"); });
    QByteArray url = request.Url.toUtf8();
    RequireHttps(url, false);
    transfer.Deadline = Clock::now() + std::chrono::milliseconds(request.TotalTimeoutMs);
    bool post = request.Method == THttpRequest::TMethod::Post;
    for (int redirects = 0;; ++redirects) {
        std::unique_ptr<curl_slist, TSlistDeleter> headers;
        auto addHeader = [&headers](const QByteArray& line) {
            headers.reset(Curl().slist_append(headers.release(), line.constData()));
        };
        if (!ownAccept)
            addHeader("Accept:"); // libcurl would send "Accept: */*"
        addHeader("Expect:"); // no 100-continue round trip for large bodies
        if (post && !request.ContentType.isEmpty())
            addHeader("Content-Type: " + request.ContentType);
        for (const QByteArray& line : request.ExtraHeaders)
            addHeader(line);

        Curl().easy_setopt(h, CURLOPT_URL, url.constData());
        Curl().easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
        if (post) {
            Curl().easy_setopt(h, CURLOPT_POST, 1L);
            Curl().easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.Body.size()));
            Curl().easy_setopt(h, CURLOPT_POSTFIELDS, request.Body.constData());
        } else {
            Curl().easy_setopt(h, CURLOPT_HTTPGET, 1L);
        }

        errorBuffer[0] = '\0';
        transfer.Body.clear();
        transfer.Abort = TAbort::None;
        transfer.LastUp = transfer.LastDown = -1;
        transfer.LastProgress = Clock::now();
        // libcurl's own total time-out backs up the progress watch, which owns the message.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(transfer.Deadline - transfer.LastProgress);
        Curl().easy_setopt(h, CURLOPT_TIMEOUT_MS, long(std::max<qint64>(1, left.count() + 1000)));

        const CURLcode rc = Curl().easy_perform(h);
        if (rc != CURLE_OK)
            RaiseTransferError(transfer, rc, errorBuffer);

        long status = 0;
        Curl().easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        char* location = nullptr;
        Curl().easy_getinfo(h, CURLINFO_REDIRECT_URL, &location);
        if (IsRedirect(status) && location) {
            if (redirects >= request.MaxRedirects)
                throw Exception(QStringLiteral("Maximale Anzahl von Umleitungen (%1) überschritten")
                                    .arg(request.MaxRedirects));
            url = QByteArray(location);
            RequireHttps(url, true);
            if (status == 301 || status == 302 || status == 303)
                post = false;
            continue;
        }

        THttpResponse response;
        response.Status = int(status);
        char* contentType = nullptr;
        Curl().easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType);
        response.ContentType = QByteArray(contentType);
        response.Body = std::move(transfer.Body);
        return response;
    }
}
