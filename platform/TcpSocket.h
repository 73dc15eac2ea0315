#pragma once

#include <QString>

#include <cstdint>

// A non-blocking TCP connection with waits that end after a time-out. Failures are raised
// as Exception with a German message.
class TTcpSocket
{
public:
    TTcpSocket() = default;
    ~TTcpSocket();
    TTcpSocket(const TTcpSocket&) = delete;
    TTcpSocket& operator=(const TTcpSocket&) = delete;

    // Resolves host and connects, giving up after timeoutMs.
    void Connect(const QString& host, quint16 port, int timeoutMs);
    void Close();
    // Listens on 127.0.0.1 on a free port (or the one given) and returns it: for a redirect
    // to this program from the user's browser.
    quint16 ListenOnLoopback(quint16 port = 0);
    // Takes the next connection of a listening socket into peer; false when none came within
    // timeoutMs.
    bool Accept(TTcpSocket& peer, int timeoutMs);
    bool IsOpen() const { return FHandle != kInvalid; }
    std::intptr_t Handle() const { return FHandle; }

    // Wait until data can be read / written; false when the time-out struck.
    bool WaitReadable(int timeoutMs) const;
    bool WaitWritable(int timeoutMs) const;

    // Bytes read (> 0), 0 when the peer closed, -1 when nothing is there yet.
    qint64 Receive(char* data, qint64 max);
    // Bytes written (>= 0), -1 when the send buffer is full.
    qint64 Send(const char* data, qint64 size);

    static constexpr std::intptr_t kInvalid = -1;

private:
    bool Wait(bool write, int timeoutMs) const;
    // The result of recv/send: passed on, -1 when the call would block, raised otherwise.
    qint64 Checked(qint64 result) const;

    std::intptr_t FHandle = kInvalid;
    QString FPeer;
};
