#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>

// A blocking HTTPS request over libcurl: one easy handle per call, redirects and the
// time-outs handled here, failures raised as Exception with the German messages of the
// program ("Fehler beim Senden der Daten: (%d) %s" and its siblings). Only https is
// spoken: an address or a redirect to any other scheme (http, file, gopher ...) fails
// with a message that names it, before anything is sent there.

struct THttpRequest
{
    enum class TMethod { Get, Post };

    TMethod Method = TMethod::Get;
    QString Url;
    QByteArray Body;                 // POST only
    QByteArray ContentType;          // POST only; sent as Content-Type, dropped on a redirect to GET
    QList<QByteArray> ExtraHeaders;  // "Name: value"
    QByteArray UserAgent;
    QString CaFile;                  // trust only this CA file; empty: the system's trust store
    int ConnectTimeoutMs = 5000;     // name resolution and connection set-up, TLS handshake included
    int SendTimeoutMs = 60000;       // longest pause while the request is sent
    int ReceiveTimeoutMs = 60000;    // longest wait for (the next piece of) the answer
    int TotalTimeoutMs = 120000;     // the whole call, redirects included: a trickling answer ends too
    int MaxRedirects = 5;            // 301/302/303 continue as GET, 307/308 repeat the request
    bool Cookies = true;             // keep cookies between the requests of this call
    qint64 MaxBodyBytes = 64LL * 1024 * 1024;
    // Set from another thread to end the call early (it then fails).
    const std::atomic<bool>* Cancel = nullptr;
};

struct THttpResponse
{
    int Status = 0;
    QByteArray ContentType;          // the Content-Type header of the answer, if any
    QByteArray Body;
};

THttpResponse HttpPerform(const THttpRequest& request);

// The fixed User-Agent of the program's HTTP requests.
QByteArray DefaultUserAgent();
