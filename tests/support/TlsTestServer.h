#pragma once

#include "tests/support/TestCertificate.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// An HTTPS server for tests: listens on 127.0.0.1 on a free port with a certificate made
// for the run, answers as the test scripts it, and records what it received.
class TTlsTestServer
{
public:
    struct TRequest
    {
        std::string Method;
        std::string Path;   // without query
        std::string Query;  // raw, without "?"
        std::multimap<std::string, std::string> Headers; // names lower-case
        std::string Body;

        bool HasHeader(const std::string& lowerName) const { return Headers.count(lowerName) > 0; }
        std::string Header(const std::string& lowerName) const;
    };

    struct TAnswer
    {
        int Status = 200;
        std::vector<std::pair<std::string, std::string>> Headers;
        std::string Body;
        std::string ContentType = "text/plain";
        int DelayMs = 0; // wait before answering (ends early when the server stops)
        int TrickleMs = 0; // send the body one byte at a time, this long apart (chunked)
    };

    using THandler = std::function<TAnswer(const TRequest&)>;

    enum class TScheme { Https, PlainHttp };

    // port 0: a free one. PlainHttp: no TLS at all (for tests of what must never be spoken).
    explicit TTlsTestServer(int port = 0, TScheme scheme = TScheme::Https);
    ~TTlsTestServer();

    TTlsTestServer(const TTlsTestServer&) = delete;
    TTlsTestServer& operator=(const TTlsTestServer&) = delete;

    int Port() const;
    QString BaseUrl() const;         // "https://127.0.0.1:<port>" ("http://" when plain)
    QString CaFile() const;          // the certificate that a client must trust
    const TTestCertificate& Certificate() const;

    // Every request to path (exact, any method) is answered by handler; unknown paths get 404.
    void On(const std::string& path, THandler handler);
    void Answer(const std::string& path, TAnswer answer);
    // A chain of redirects: path -> path/1 -> ... -> path/<hops> which answers final.
    void RedirectChain(const std::string& path, int hops, int status, TAnswer final);

    std::vector<TRequest> Requests() const;
    void ClearRequests();

private:
    struct TImpl;
    std::unique_ptr<TImpl> d;
};

// A port on 127.0.0.1 on which nothing listens (bound, then closed).
int ClosedLoopbackPort();

// A TCP listener on 127.0.0.1 that accepts connections and never says a word.
class TSilentServer
{
public:
    TSilentServer();
    ~TSilentServer();
    int Port() const { return FPort; }

private:
    int FSocket = -1;
    int FPort = 0;
};
