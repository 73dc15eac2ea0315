#include "mail/ImapConnection.h"

#include "platform/Exception.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

QString OpenSslError()
{
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    if (e == 0)
        return QStringLiteral("unbekannter Fehler");
    char text[256];
    ERR_error_string_n(e, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

TImapConnection::~TImapConnection()
{
    Close();
}

void TImapConnection::Open(const QString& host, quint16 port, int timeoutMs)
{
    Close();
    FHost = host;
    FTimeoutMs = timeoutMs;
    FSocket.Connect(host, port, timeoutMs);
}

void TImapConnection::Close()
{
    if (FSsl) {
        SSL_free(FSsl);
        FSsl = nullptr;
    }
    if (FCtx) {
        SSL_CTX_free(FCtx);
        FCtx = nullptr;
    }
    FSocket.Close();
    FBuffer.clear();
    FBufferPos = 0;
}

void TImapConnection::RaiseTimeout() const
{
    throw Exception(QStringLiteral("Zeitüberschreitung: Der Mail-Server %1 antwortet seit %2 Sekunden nicht.")
                        .arg(FHost)
                        .arg(FTimeoutMs / 1000.0));
}

void TImapConnection::RaiseClosed() const
{
    throw Exception(QStringLiteral("Der Mail-Server %1 hat die Verbindung beendet.").arg(FHost));
}

TCertificateCheck TImapConnection::StartTls()
{
    FCtx = SSL_CTX_new(TLS_client_method());
    if (!FCtx)
        throw Exception(WithReason(QStringLiteral("TLS ist nicht verfügbar."), QStringLiteral("Meldung von OpenSSL"), OpenSslError()));
    SSL_CTX_set_default_verify_paths(FCtx);
    // The handshake completes whatever the certificate is; the check is ours, before any
    // password leaves the machine.
    SSL_CTX_set_verify(FCtx, SSL_VERIFY_NONE, nullptr);
    FSsl = SSL_new(FCtx);
    SSL_set_fd(FSsl, int(FSocket.Handle()));
    const QByteArray host = FHost.toUtf8();
    // An address is checked against the certificate's IP entries, a name against its DNS
    // entries (and sent as SNI).
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSsl), host.constData()) != 1) {
        SSL_set_tlsext_host_name(FSsl, host.constData());
        SSL_set1_host(FSsl, host.constData());
    }
    // Bytes that arrived before the handshake would be plain text: there must be none.
    FBuffer.clear();
    FBufferPos = 0;

    for (;;) {
        ERR_clear_error();
        const int rc = SSL_connect(FSsl);
        if (rc == 1)
            break;
        if (!WaitForTls(SSL_get_error(FSsl, rc)))
            throw Exception(WithReason(QStringLiteral("TLS-Aushandlung mit %1 fehlgeschlagen.").arg(FHost),
                                           QStringLiteral("Meldung von OpenSSL"), OpenSslError()));
    }

    TCertificateCheck check;
    X509* cert = SSL_get1_peer_certificate(FSsl);
    if (!cert) {
        check.Problem = QStringLiteral("Der Server zeigt kein Zertifikat.");
        return check;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(cert, EVP_sha256(), digest, &length);
    X509_free(cert);
    check.Fingerprint = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    const long result = SSL_get_verify_result(FSsl);
    check.Trusted = result == X509_V_OK;
    if (!check.Trusted)
        check.Problem = QString::fromLatin1(X509_verify_cert_error_string(result));
    return check;
}

bool TImapConnection::WaitForTls(int sslError)
{
    if (sslError == SSL_ERROR_WANT_READ) {
        if (!FSocket.WaitReadable(FTimeoutMs))
            RaiseTimeout();
        return true;
    }
    if (sslError == SSL_ERROR_WANT_WRITE) {
        if (!FSocket.WaitWritable(FTimeoutMs))
            RaiseTimeout();
        return true;
    }
    return false;
}

void TImapConnection::Fill()
{
    char chunk[16384];
    for (;;) {
        if (FSsl) {
            ERR_clear_error();
            const int n = SSL_read(FSsl, chunk, sizeof chunk);
            if (n > 0) {
                FBuffer.append(chunk, n);
                return;
            }
            const int error = SSL_get_error(FSsl, n);
            if (WaitForTls(error))
                continue;
            if (error == SSL_ERROR_ZERO_RETURN || error == SSL_ERROR_SYSCALL)
                RaiseClosed();
            throw Exception(WithReason(QStringLiteral("TLS-Fehler in der Verbindung mit %1.").arg(FHost),
                                       QStringLiteral("Meldung von OpenSSL"), OpenSslError()));
        } else {
            const qint64 n = FSocket.Receive(chunk, sizeof chunk);
            if (n > 0) {
                FBuffer.append(chunk, qsizetype(n));
                return;
            }
            if (n == 0)
                RaiseClosed();
            if (!FSocket.WaitReadable(FTimeoutMs))
                RaiseTimeout();
        }
    }
}

QByteArray TImapConnection::ReadLine(qsizetype maxLength)
{
    if (!IsOpen())
        RaiseClosed();
    qsizetype searchFrom = FBufferPos;
    for (;;) {
        const qsizetype lf = FBuffer.indexOf('\n', searchFrom);
        if (lf >= 0) {
            qsizetype end = lf;
            if (end > FBufferPos && FBuffer[end - 1] == '\r')
                --end;
            QByteArray line = FBuffer.mid(FBufferPos, end - FBufferPos);
            FBufferPos = lf + 1;
            if (FBufferPos > (1 << 16)) {
                FBuffer.remove(0, FBufferPos);
                FBufferPos = 0;
            }
            if (line.size() > maxLength)
                break;
            return line;
        }
        if (FBuffer.size() - FBufferPos > maxLength)
            break;
        searchFrom = FBuffer.size();
        Fill();
    }
    throw Exception(QStringLiteral("Der Mail-Server %1 sendet eine Zeile von mehr als %2 KiB.").arg(FHost).arg(maxLength >> 10));
}

QByteArray TImapConnection::ReadExact(qsizetype count)
{
    if (!IsOpen())
        RaiseClosed();
    while (FBuffer.size() - FBufferPos < count)
        Fill();
    QByteArray bytes = FBuffer.mid(FBufferPos, count);
    FBuffer.remove(0, FBufferPos + count);
    FBufferPos = 0;
    return bytes;
}

void TImapConnection::Write(const QByteArray& bytes)
{
    if (!IsOpen())
        RaiseClosed();
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (FSsl) {
            ERR_clear_error();
            const int n = SSL_write(FSsl, bytes.constData() + done, int(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (!WaitForTls(SSL_get_error(FSsl, n)))
                throw Exception(WithReason(QStringLiteral("TLS-Fehler in der Verbindung mit %1.").arg(FHost),
                                       QStringLiteral("Meldung von OpenSSL"), OpenSslError()));
        } else {
            const qint64 n = FSocket.Send(bytes.constData() + done, bytes.size() - done);
            if (n > 0) {
                done += qsizetype(n);
                continue;
            }
            if (!FSocket.WaitWritable(FTimeoutMs))
                RaiseTimeout();
        }
    }
}
