#include "services/EServiceClient.h"

#include "platform/AnsiCodePage.h"
#include "platform/BackgroundCall.h"
#include "platform/Exception.h"
#include "services/HttpClient.h"

#include <QStringDecoder>

TEServiceClient::TEServiceClient(QObject* AOwner, QString path, TServiceOptions options)
    : Owner(AOwner)
    , FPath(std::move(path))
    , FOptions(std::move(options))
{
}

QString DecodeServiceAnswer(const QByteArray& body)
{
    // The BOM is kept by the decoder and dropped here, so that exactly one is dropped.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(body);
    if (decoder.hasError())
        throw Exception(QStringLiteral("Keine Zuordnung für Unicode-Zeichen in der Multibyte-Zielcodeseite vorhanden"));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QString TEServiceClient::Call(const QString& xmlstr)
{
    Html.clear();
    FStatus = 0;
    THttpRequest request;
    request.Method = THttpRequest::TMethod::Post;
    QString base = FOptions.BaseUrl;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    request.Url = base + FPath;
    request.Body = AnsiEncode(xmlstr);
    request.ContentType = QByteArrayLiteral("application/xml");
    request.UserAgent = DefaultUserAgent();
    request.CaFile = FOptions.CaFile;
    request.ConnectTimeoutMs = FOptions.ConnectTimeoutMs;
    request.SendTimeoutMs = FOptions.SendTimeoutMs;
    request.ReceiveTimeoutMs = FOptions.ReceiveTimeoutMs;
    request.TotalTimeoutMs = FOptions.TotalTimeoutMs;
    request.MaxRedirects = 5;
    request.Cookies = true;
    request.Cancel = FOptions.Cancel;
    // The call may take long (up to the overall deadline): the window goes on meanwhile.
    const THttpResponse response = RunKeepingEventsFlowing([&request] { return HttpPerform(request); });
    FStatus = response.Status;
    return DecodeServiceAnswer(response.Body);
}
