#pragma once

#include <QByteArray>
#include <QString>

// Mailbox names on the wire: the modified UTF-7 of IMAP (RFC 3501, 5.1.3).
QString DecodeModifiedUtf7(const QByteArray& encoded);
QByteArray EncodeModifiedUtf7(const QString& name);
