#include "app/UpdateCheck.h"

#include "BuildConfig.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>

TWebSiteOptions TWebSiteOptions::Defaults()
{
    TWebSiteOptions o;
    o.UpdateBase = QStringLiteral("https://" ERECHNUNG_UPDATE_HOST);
    o.WebBase = QStringLiteral("https://" ERECHNUNG_WEB_HOST);
    return o;
}

TUpdateCheck::TUpdateCheck(QObject* parent)
    : QObject(parent)
{
}

TUpdateCheck::~TUpdateCheck()
{
    // A request still under way is cancelled; the window does not wait for the network.
    FCancel = true;
    if (FWorker.joinable())
        FWorker.join();
}

void TUpdateCheck::Start(const QString& url, const TWebSiteOptions& options, std::function<void(const THttpResponse&)> completed)
{
    if (FWorker.joinable())
        return; // one request per start
    THttpRequest request;
    request.Method = THttpRequest::TMethod::Get;
    request.Url = url;
    request.ExtraHeaders = {QByteArrayLiteral("Accept: text/html"), QByteArrayLiteral("Accept-Language: de")};
    request.UserAgent = DefaultUserAgent();
    request.CaFile = options.CaFile;
    request.ConnectTimeoutMs = 60000;
    request.SendTimeoutMs = options.TimeoutMs;
    request.ReceiveTimeoutMs = options.TimeoutMs;
    request.MaxRedirects = 0;
    request.Cookies = false;
    request.Cancel = &FCancel;
    FRunning = true;
    FWorker = std::thread([this, request, completed = std::move(completed)] {
        try {
            THttpResponse response = HttpPerform(request);
            // The completion runs on the user-interface thread; if the window is gone by
            // then, nothing runs.
            QMetaObject::invokeMethod(
                this,
                [this, completed, response] {
                    FRunning = false;
                    completed(response);
                },
                Qt::QueuedConnection);
        } catch (...) {
            FRunning = false; // a failed request reports nothing
        }
    });
}

quint32 RandomQueryNumber()
{
    return QRandomGenerator::global()->bounded(2147483647u);
}

QString PublishedVersion(const QByteArray& contentType, const QByteArray& body)
{
    static const QRegularExpression charsetPattern(QStringLiteral("charset\\s*=\\s*\"?([^\";\\s]+)"),
                                                   QRegularExpression::CaseInsensitiveOption);
    const QString charset = charsetPattern.match(QString::fromLatin1(contentType)).captured(1);
    QStringDecoder decoder(QStringDecoder::Utf8);
    if (!charset.isEmpty()) {
        QStringDecoder declared(charset.toLatin1().constData());
        if (declared.isValid())
            decoder = std::move(declared);
    }
    const QString page = decoder.decode(body);
    // Case-sensitive, "." not across a line feed, the first match only.
    static const QRegularExpression version(QStringLiteral("id=\"quorvant\".*?class=\"version\">([\\d\\.]+)"));
    return version.match(page).captured(1);
}
