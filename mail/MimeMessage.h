#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct TMailAttachment
{
    QString FileName; // as the mail names it, decoded (RFC 2047, RFC 2231)
    QByteArray Content; // transfer encoding removed
};

struct TMailMessage
{
    QString Subject; // decoded
    QList<TMailAttachment> Attachments;
};

// Decodes a whole message: its subject and every part that carries a file name (text
// bodies without a name are no attachments). An attached mail with a name is one
// attachment; one without a name is looked into.
TMailMessage ParseMailMessage(const QByteArray& raw);

// The decoded subject of a message header.
QString ParseMailSubject(const QByteArray& header);
