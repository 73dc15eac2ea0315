#pragma once

#include "services/ServiceOptions.h"

#include <QByteArray>
#include <QString>

class QObject;

// What the validation and the rendering client share: the POST of the invoice text to one
// path of the service host and the decoding of the answer.
class TEServiceClient
{
public:
    TEServiceClient(QObject* AOwner, QString path, TServiceOptions options);
    virtual ~TEServiceClient() = default;

    TEServiceClient(const TEServiceClient&) = delete;
    TEServiceClient& operator=(const TEServiceClient&) = delete;

    // The HTTP status of the last answer (0 before the first call).
    int Status() const { return FStatus; }

protected:
    // Sends xmlstr (encoded with the ANSI code page) and returns the answer decoded as
    // UTF-8, a leading byte-order mark dropped; its HTTP status is kept in Status().
    // Raises on every transport failure and on an answer that is not UTF-8.
    QString Call(const QString& xmlstr);

    QObject* Owner;
    QString Html;

private:
    QString FPath;
    TServiceOptions FOptions;
    int FStatus = 0;
};

// The answer body as text; raises "Keine Zuordnung für Unicode-Zeichen in der
// Multibyte-Zielcodeseite vorhanden" when it is not valid UTF-8.
QString DecodeServiceAnswer(const QByteArray& body);
