#include "app/BrowserPane.h"

#include <QBuffer>
#include <QHash>
#include <QVBoxLayout>
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

void ConfigureProfile(QWebEngineProfile* profile)
{
    // PDFs open in the built-in viewer.
    profile->settings()->setAttribute(QWebEngineSettings::PluginsEnabled, true);
    profile->settings()->setAttribute(QWebEngineSettings::PdfViewerEnabled, true);
    HandlerOf(profile);
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
