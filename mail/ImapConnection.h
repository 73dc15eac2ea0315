#pragma once

#include "mail/ImapProtocol.h"
#include "platform/TcpSocket.h"

#include <QString>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

// What the TLS handshake found out about the server's certificate.
struct TCertificateCheck
{
    bool Trusted = false;  // the system's trust store vouches for it and it names the host
    QString Fingerprint;   // SHA-256 of the certificate, lower-case hex
    QString Problem;       // why it is not trusted
};

// The byte stream to an IMAP server: TCP, optionally TLS on the same socket (implicit or
// after STARTTLS), every wait bounded by the time-out.
class TImapConnection : public TImapStream
{
public:
    TImapConnection() = default;
    ~TImapConnection() override;

    void Open(const QString& host, quint16 port, int timeoutMs);
    TCertificateCheck StartTls();
    void Close();
    bool IsOpen() const { return FSocket.IsOpen(); }
    bool IsEncrypted() const { return FSsl != nullptr; }

    QByteArray ReadLine(qsizetype maxLength) override;
    QByteArray ReadExact(qsizetype count) override;
    void Write(const QByteArray& bytes) override;

private:
    void Fill();
    // After SSL_ERROR_WANT_READ or _WRITE: waits for the socket (raising on time-out) and
    // returns true; false for any other error.
    bool WaitForTls(int sslError);
    [[noreturn]] void RaiseTimeout() const;
    [[noreturn]] void RaiseClosed() const;

    TTcpSocket FSocket;
    SSL_CTX* FCtx = nullptr;
    SSL* FSsl = nullptr;
    QByteArray FBuffer;
    qsizetype FBufferPos = 0;
    int FTimeoutMs = 30000;
    QString FHost;
};
