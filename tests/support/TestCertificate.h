#pragma once

#include <QByteArray>
#include <QString>

// A self-signed certificate made for one test run (CN=localhost, SAN DNS:localhost and
// IP:127.0.0.1), written as PEM files into a folder of the test.
struct TTestCertificate
{
    QString CertFile;
    QString KeyFile;
    QByteArray Sha256Fingerprint; // of the DER form, lower-case hex without separators

    static TTestCertificate Create(const QString& folder, const QString& baseName = QStringLiteral("server"));
};
