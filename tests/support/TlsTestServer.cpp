#include "tests/support/TlsTestServer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

struct TTlsTestServer::TImpl
{
    QTemporaryDir Dir;
    TTestCertificate Cert;
    std::unique_ptr<httplib::Server> Server;
    bool Tls = true;
    std::thread Thread;
    int Port = 0;

    mutable std::mutex Mutex;
    std::condition_variable Stopping;
    bool Stopped = false;
    std::map<std::string, THandler> Handlers;
    std::vector<TRequest> Requests;

    void Handle(const httplib::Request& req, httplib::Response& res)
    {
        TRequest r;
        r.Method = req.method;
        r.Path = req.path;
        const auto q = req.target.find('?');
        if (q != std::string::npos)
            r.Query = req.target.substr(q + 1);
        for (const auto& [name, value] : req.headers) {
            std::string lower = name;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            r.Headers.emplace(lower, value);
        }
        r.Body = req.body;

        THandler handler;
        {
            std::lock_guard lock(Mutex);
            Requests.push_back(r);
            auto it = Handlers.find(r.Path);
            if (it != Handlers.end())
                handler = it->second;
        }
        TAnswer answer;
        if (handler) {
            answer = handler(r);
        } else {
            answer.Status = 404;
            answer.Body = "not found";
        }
        if (answer.DelayMs > 0) {
            std::unique_lock lock(Mutex);
            Stopping.wait_for(lock, std::chrono::milliseconds(answer.DelayMs), [this] { return Stopped; });
        }
        res.status = answer.Status;
        for (const auto& [name, value] : answer.Headers)
            res.headers.emplace(name, value);
        if (answer.TrickleMs > 0) {
            res.set_chunked_content_provider(
                answer.ContentType, [this, answer, sent = size_t(0)](size_t, httplib::DataSink& sink) mutable {
                    if (sent >= answer.Body.size()) {
                        sink.done();
                        return true;
                    }
                    if (!sink.write(answer.Body.data() + sent, 1))
                        return false;
                    ++sent;
                    std::unique_lock lock(Mutex);
                    return !Stopping.wait_for(lock, std::chrono::milliseconds(answer.TrickleMs), [this] { return Stopped; });
                });
            return;
        }
        res.set_content(answer.Body, answer.ContentType.c_str());
    }
};

std::string TTlsTestServer::TRequest::Header(const std::string& lowerName) const
{
    auto it = Headers.find(lowerName);
    return it == Headers.end() ? std::string() : it->second;
}

TTlsTestServer::TTlsTestServer(int port, TScheme scheme)
    : d(std::make_unique<TImpl>())
{
    d->Cert = TTestCertificate::Create(d->Dir.path());
    d->Tls = scheme == TScheme::Https;
    if (d->Tls)
        d->Server = std::make_unique<httplib::SSLServer>(d->Cert.CertFile.toLocal8Bit().constData(),
                                                          d->Cert.KeyFile.toLocal8Bit().constData());
    else
        d->Server = std::make_unique<httplib::Server>();
    if (!d->Server->is_valid())
        throw std::runtime_error("TLS test server: certificate not accepted");
    auto handle = [this](const httplib::Request& req, httplib::Response& res) { d->Handle(req, res); };
    const std::string any = R"(/.*)";
    d->Server->Get(any, handle);
    d->Server->Post(any, handle);
    d->Server->Put(any, handle);
    d->Server->Delete(any, handle);
    d->Server->set_read_timeout(10, 0);
    d->Server->set_write_timeout(10, 0);
    d->Server->set_payload_max_length(512ull * 1024 * 1024);
    if (port > 0)
        d->Port = d->Server->bind_to_port("127.0.0.1", port) ? port : -1;
    else
        d->Port = d->Server->bind_to_any_port("127.0.0.1");
    if (d->Port <= 0)
        throw std::runtime_error("TLS test server: no free port");
    d->Thread = std::thread([this] { d->Server->listen_after_bind(); });
    while (!d->Server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TTlsTestServer::~TTlsTestServer()
{
    {
        std::lock_guard lock(d->Mutex);
        d->Stopped = true;
    }
    d->Stopping.notify_all();
    d->Server->stop();
    if (d->Thread.joinable())
        d->Thread.join();
}

int TTlsTestServer::Port() const
{
    return d->Port;
}

QString TTlsTestServer::BaseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(d->Tls ? QStringLiteral("https") : QStringLiteral("http")).arg(d->Port);
}

QString TTlsTestServer::CaFile() const
{
    return d->Cert.CertFile;
}

const TTestCertificate& TTlsTestServer::Certificate() const
{
    return d->Cert;
}

void TTlsTestServer::On(const std::string& path, THandler handler)
{
    std::lock_guard lock(d->Mutex);
    d->Handlers[path] = std::move(handler);
}

void TTlsTestServer::Answer(const std::string& path, TAnswer answer)
{
    On(path, [answer](const TRequest&) { return answer; });
}

void TTlsTestServer::RedirectChain(const std::string& path, int hops, int status, TAnswer final)
{
    for (int i = 0; i < hops; ++i) {
        const std::string from = i == 0 ? path : path + "/" + std::to_string(i);
        const std::string to = path + "/" + std::to_string(i + 1);
        TAnswer redirect;
        redirect.Status = status;
        redirect.Headers = {{"Location", to}};
        Answer(from, redirect);
    }
    Answer(hops == 0 ? path : path + "/" + std::to_string(hops), std::move(final));
}

std::vector<TTlsTestServer::TRequest> TTlsTestServer::Requests() const
{
    std::lock_guard lock(d->Mutex);
    return d->Requests;
}

void TTlsTestServer::ClearRequests()
{
    std::lock_guard lock(d->Mutex);
    d->Requests.clear();
}

namespace {
int BindLoopback(int& port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("bind 127.0.0.1");
    socklen_t len = sizeof addr;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return s;
}
} // namespace

int ClosedLoopbackPort()
{
    int port = 0;
    ::close(BindLoopback(port));
    return port;
}

TSilentServer::TSilentServer()
{
    FSocket = BindLoopback(FPort);
    ::listen(FSocket, 16); // the kernel completes the handshakes; nobody ever reads or writes
}

TSilentServer::~TSilentServer()
{
    ::close(FSocket);
}
