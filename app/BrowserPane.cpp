#include "app/BrowserPane.h"

#include "platform/UserPrompt.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

namespace {

const QByteArray kScheme = QByteArrayLiteral("erechnung");

// Serves the HTML text of the panes: erechnung:content/<number>. Only the latest texts are
// kept; a pane that reloads an old address gets an empty page.
class TContentSchemeHandler : public QWebEngineUrlSchemeHandler
{
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    QUrl Put(const QString& html)
    {
        const quint64 id = ++FNext;
        FContent.insert(id, html.toUtf8());
        FContent.remove(id - 16);
        QUrl url;
        url.setScheme(QString::fromLatin1(kScheme));
        url.setPath(QStringLiteral("content/%1").arg(id));
        return url;
    }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        const quint64 id = job->requestUrl().path().section(QLatin1Char('/'), 1).toULongLong();
        auto* buffer = new QBuffer(job);
        buffer->setData(FContent.value(id));
        job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
    }

private:
    quint64 FNext = 0;
    QHash<quint64, QByteArray> FContent;
};

TContentSchemeHandler* HandlerOf(QWebEngineProfile* profile)
{
    auto* handler = const_cast<TContentSchemeHandler*>(
        static_cast<const TContentSchemeHandler*>(profile->urlSchemeHandler(kScheme)));
    if (!handler) {
        handler = new TContentSchemeHandler(profile);
        profile->installUrlSchemeHandler(kScheme, handler);
    }
    return handler;
}

// An attachment of the built-in view is saved where the user says. Only what the page
// carries itself (a data: address) is saved: nothing is fetched from anywhere.
void SaveDownload(QWebEngineDownloadRequest* download)
{
    if (download->url().scheme() != QLatin1String("data")) {
        download->cancel();
        return;
    }
    const QString target = TUserPrompt::SaveFile(download->downloadFileName());
    if (target.isEmpty()) {
        download->cancel();
        return;
    }
    const QFileInfo info(target);
    download->setDownloadDirectory(info.absolutePath());
    download->setDownloadFileName(info.fileName());
    download->accept();
}

void ConfigureProfile(QWebEngineProfile* profile)
{
    // PDFs open in the built-in viewer.
    profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    profile->settings()->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
    HandlerOf(profile);
    if (!profile->property("erechnungDownloads").toBool()) {
        profile->setProperty("erechnungDownloads", true);
        QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile, &SaveDownload);
    }
}

} // namespace

void RegisterBrowserScheme()
{
    QWebEngineUrlScheme scheme(kScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme
                    | QWebEngineUrlScheme::LocalAccessAllowed);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QWebEngineProfile* CreateBrowserProfile(const QString& folder, QObject* parent)
{
    auto* profile = new QWebEngineProfile(QStringLiteral("E-Rechnung"), parent);
    profile->setPersistentStoragePath(folder);
    profile->setCachePath(folder + QStringLiteral("/Cache"));
    ConfigureProfile(profile);
    return profile;
}

TBrowserPane::TBrowserPane(QWidget* parent)
    : QWidget(parent)
    , FView(new QWebEngineView(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->addWidget(FView);
}

void TBrowserPane::SetProfile(QWebEngineProfile* profile)
{
    ConfigureProfile(profile);
    FView->setPage(new QWebEnginePage(profile, FView));
}

void TBrowserPane::Navigate(const QUrl& url)
{
    FRequestedUrl = url;
    FRequestedHtml.clear();
    FView->load(url);
}

void TBrowserPane::NavigateToString(const QString& html)
{
    ConfigureProfile(FView->page()->profile());
    FRequestedHtml = html;
    FRequestedUrl = HandlerOf(FView->page()->profile())->Put(html);
    FView->load(FRequestedUrl);
}
