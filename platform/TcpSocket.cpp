#include "platform/TcpSocket.h"

#include "platform/Exception.h"

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
using TSockLen = int;
using TNative = SOCKET;
namespace {
int LastError() { return WSAGetLastError(); }
bool WouldBlock(int e) { return e == WSAEWOULDBLOCK; }
bool InProgress(int e) { return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS; }
void CloseHandle(std::intptr_t h) { closesocket(SOCKET(h)); }
void SetNonBlocking(std::intptr_t h)
{
    u_long on = 1;
    ioctlsocket(SOCKET(h), FIONBIO, &on);
}
QString ErrorText(int e) { return QString::fromLocal8Bit(gai_strerrorA(e)); }
int PollOne(pollfd* p, int timeoutMs) { return WSAPoll(p, 1, timeoutMs); }
void EnsureStarted()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    Q_UNUSED(started);
}
} // namespace
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using TSockLen = socklen_t;
using TNative = int;
namespace {
int LastError() { return errno; }
bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK; }
bool InProgress(int e) { return e == EINPROGRESS; }
void CloseHandle(std::intptr_t h) { ::close(int(h)); }
void SetNonBlocking(std::intptr_t h) { ::fcntl(int(h), F_SETFL, ::fcntl(int(h), F_GETFL) | O_NONBLOCK); }
QString ErrorText(int e) { return QString::fromLocal8Bit(std::strerror(e)); }
int PollOne(pollfd* p, int timeoutMs) { return ::poll(p, 1, timeoutMs); }
void EnsureStarted() {}
} // namespace
#endif

TTcpSocket::~TTcpSocket()
{
    Close();
}

void TTcpSocket::Close()
{
    if (FHandle != kInvalid)
        CloseHandle(FHandle);
    FHandle = kInvalid;
}

void TTcpSocket::Connect(const QString& host, quint16 port, int timeoutMs)
{
    EnsureStarted();
    Close();
    FPeer = QStringLiteral("%1:%2").arg(host).arg(port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    const int rc = getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints, &addresses);
    if (rc != 0 || !addresses)
        throw Exception(WithReason(QStringLiteral("Der Server %1 ist nicht bekannt.").arg(host), QStringLiteral("Meldung des Systems"),
                                   QString::fromLocal8Bit(gai_strerror(rc))));
    QString lastError;
    for (addrinfo* a = addresses; a; a = a->ai_next) {
        const std::intptr_t h = std::intptr_t(::socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        if (h == kInvalid)
            continue;
        SetNonBlocking(h);
        FHandle = h;
        if (::connect(TNative(h), a->ai_addr, TSockLen(a->ai_addrlen)) == 0) {
            freeaddrinfo(addresses);
            return;
        }
        int error = LastError();
        if (InProgress(error)) {
            if (!WaitWritable(timeoutMs)) {
                Close();
                freeaddrinfo(addresses);
                throw Exception(QStringLiteral("Zeitüberschreitung beim Verbinden mit %1 (%2 s)").arg(FPeer).arg(timeoutMs / 1000.0));
            }
            TSockLen length = sizeof error;
            getsockopt(TNative(h), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
            if (error == 0) {
                freeaddrinfo(addresses);
                return;
            }
        }
        lastError = ErrorText(error);
        Close();
    }
    freeaddrinfo(addresses);
    throw Exception(WithReason(QStringLiteral("Verbindung zu %1 fehlgeschlagen.").arg(FPeer), QStringLiteral("Meldung des Systems"),
                               lastError));
}

quint16 TTcpSocket::ListenOnLoopback(quint16 port)
{
    EnsureStarted();
    Close();
    const std::intptr_t h = std::intptr_t(::socket(AF_INET, SOCK_STREAM, 0));
    if (h == kInvalid)
        throw Exception(WithReason(QStringLiteral("Es kann kein Netzwerk-Anschluss geöffnet werden."),
                                   QStringLiteral("Meldung des Systems"), ErrorText(LastError())));
    FHandle = h;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    TSockLen length = sizeof address;
    if (::bind(TNative(h), reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(TNative(h), 8) != 0
        || ::getsockname(TNative(h), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const QString error = ErrorText(LastError());
        Close();
        throw Exception(WithReason(QStringLiteral("Auf 127.0.0.1:%1 kann nicht gewartet werden.").arg(port),
                                   QStringLiteral("Meldung des Systems"), error));
    }
    SetNonBlocking(h);
    FPeer = QStringLiteral("127.0.0.1:%1").arg(ntohs(address.sin_port));
    return ntohs(address.sin_port);
}

bool TTcpSocket::Accept(TTcpSocket& peer, int timeoutMs)
{
    if (!WaitReadable(timeoutMs))
        return false;
    const std::intptr_t h = std::intptr_t(::accept(TNative(FHandle), nullptr, nullptr));
    if (h == kInvalid)
        return false; // gone again before we took it (or would block): the caller waits on
    peer.Close();
    SetNonBlocking(h);
    peer.FHandle = h;
    peer.FPeer = QStringLiteral("127.0.0.1");
    return true;
}

bool TTcpSocket::Wait(bool write, int timeoutMs) const
{
    pollfd p{};
    p.fd = decltype(p.fd)(FHandle);
    p.events = write ? POLLOUT : POLLIN;
    for (;;) {
        const int rc = PollOne(&p, timeoutMs);
        if (rc > 0)
            return true;
        if (rc == 0)
            return false;
#ifndef Q_OS_WIN
        if (errno == EINTR)
            continue;
#endif
        throw Exception(WithReason(QStringLiteral("Verbindung zu %1 gestört.").arg(FPeer), QStringLiteral("Meldung des Systems"),
                                   ErrorText(LastError())));
    }
}

bool TTcpSocket::WaitReadable(int timeoutMs) const
{
    return Wait(false, timeoutMs);
}

bool TTcpSocket::WaitWritable(int timeoutMs) const
{
    return Wait(true, timeoutMs);
}

qint64 TTcpSocket::Receive(char* data, qint64 max)
{
    return Checked(::recv(TNative(FHandle), data, int(qMin<qint64>(max, 1 << 20)), 0));
}

qint64 TTcpSocket::Send(const char* data, qint64 size)
{
#ifdef MSG_NOSIGNAL
    const int flags = MSG_NOSIGNAL;
#else
    const int flags = 0;
#endif
    return Checked(::send(TNative(FHandle), data, int(qMin<qint64>(size, 1 << 20)), flags));
}

qint64 TTcpSocket::Checked(qint64 result) const
{
    if (result >= 0)
        return result;
    const int error = LastError();
    if (WouldBlock(error))
        return -1;
    throw Exception(WithReason(QStringLiteral("Verbindung zu %1 gestört.").arg(FPeer), QStringLiteral("Meldung des Systems"),
                               ErrorText(error)));
}
