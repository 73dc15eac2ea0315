#include "app/BrowserPane.h"

#include <QBuffer>
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

// The page links "anhang/2", relative to its own address erechnung:content/<number>. (The
// browser resolves even "erechnung:content/anhang/2" as relative, to
// erechnung:content/content/anhang/2: the scheme has no host part.)
const QString kAttachmentLink = QStringLiteral("anhang/");
const QString kAttachmentPath = QStringLiteral("content/") + kAttachmentLink;

// The panes download nothing: an attachment of the built-in view is saved by the program
// (TBrowserPane::AttachmentRequested), and a page from outside has nothing to put on disk.
void RefuseDownload(QWebEngineDownloadRequest* download)
{
    download->cancel();
}

// A click on an attachment link of the built-in view becomes a request to the pane.
class TPanePage : public QWebEnginePage
{
public:
    TPanePage(QWebEngineProfile* profile, QObject* parent, TBrowserPane* pane)
        : QWebEnginePage(profile, parent)
        , FPane(pane)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (url.scheme() == QLatin1String(kScheme) && url.path().startsWith(kAttachmentPath)) {
            bool ok = false;
            const int number = url.path().mid(kAttachmentPath.size()).toInt(&ok);
            if (ok && type == NavigationTypeLinkClicked)
                QMetaObject::invokeMethod(FPane, [pane = FPane, number] { Q_EMIT pane->AttachmentRequested(number); }, Qt::QueuedConnection);
            return false;
        }
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

private:
    TBrowserPane* FPane;
};

void ConfigureProfile(QWebEngineProfile* profile)
{
    // PDFs open in the built-in viewer.
    profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    profile->settings()->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
    HandlerOf(profile);
    if (!profile->property("erechnungDownloads").toBool()) {
        profile->setProperty("erechnungDownloads", true);
        QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile, &RefuseDownload);
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
    FView->setPage(new TPanePage(profile, FView, this));
}

QString TBrowserPane::AttachmentAddress()
{
    return kAttachmentLink;
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
