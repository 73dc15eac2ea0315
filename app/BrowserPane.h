#pragma once

#include <QUrl>
#include <QWidget>

class QWebEngineProfile;
class QWebEngineView;

// Registers the URL scheme through which the panes show HTML text. Must run before the
// application object is created.
void RegisterBrowserScheme();

// The browser data of both panes: a persistent profile stored in folder.
QWebEngineProfile* CreateBrowserProfile(const QString& folder, QObject* parent);

// One browser pane: a web view with a small margin. HTML text of any size is served to it
// through the program's own URL scheme (setHtml stops at 2 MB).
class TBrowserPane : public QWidget
{
    Q_OBJECT

public:
    explicit TBrowserPane(QWidget* parent = nullptr);

    // Gives the pane its profile; before the first navigation.
    void SetProfile(QWebEngineProfile* profile);

    void Navigate(const QUrl& url);
    void NavigateToString(const QString& html);

    QWebEngineView* View() const { return FView; }

    // Where the built-in view's attachment links go (relative to the page the pane shows):
    // a click on one asks for the attachment (AttachmentRequested) instead of navigating.
    static QString AttachmentAddress();
    // What the pane was last asked to show: a URL, or (for HTML text) the text.
    QUrl RequestedUrl() const { return FRequestedUrl; }
    const QString& RequestedHtml() const { return FRequestedHtml; }

Q_SIGNALS:
    void AttachmentRequested(int number);

private:
    QWebEngineView* FView;
    QUrl FRequestedUrl;
    QString FRequestedHtml;
};
