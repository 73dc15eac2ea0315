#pragma once

#include "app/UpdateCheck.h"
#include "workflow/EWorkflow.h"

#include <QColor>
#include <QMainWindow>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTableWidget;
class QWebEngineProfile;
class TBrowserPane;
class TClickPanel;
class TERechnung;
class TEMailImport;
class TFormEinstellungen;

// The main window: the hotfolder list, the invoice and the report side by side, the
// verdict as colours, and the two panels that accept or reject the loaded invoice.
class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr, TWebSiteOptions webSite = TWebSiteOptions::Defaults());
    ~TForm1() override;

    // Opens one invoice: runs it through the engine and sets the PDF/XML switch.
    void SetFile(const QString& filepath);

    // The settings dialog, created after this window; its settings go to the engine.
    // Also lets the dialog sign the mail import's "Office 365" mailbox in and out.
    void SetSettingsForm(TFormEinstellungen* form);
    TFormEinstellungen* SettingsForm() const { return FormEinstellungen; }

    // Why the window cannot run (the engine could not be created); empty when it can.
    const QString& FatalError() const { return FFatalError; }

    TEWorkflow* workflow = nullptr;
    bool paludraInfosGezeigt = false;
    TEMailImport* MailImport = nullptr; // the IMAP client, its timer tImap and imapTrash

    // Controls, named as in the layout.
    QWidget* Panel1;
    QWidget* Panel5;
    QTableWidget* StringGrid1;
    QPushButton* bLoad;
    QPushButton* bVerlauf;
    // The history window, made when first opened.
    class TFormVerlauf* FormVerlauf = nullptr;
    TClickPanel* pVerwerfen;
    TClickPanel* pAnnehmen;
    TClickPanel* lUpdate;
    QWidget* Panel6;
    QPushButton* bEinstellungen;
    QWidget* Panel2;
    QLabel* Panel3;
    QGroupBox* rgAnzeigePdf;
    QLabel* lAnsicht;       // which view the invoice pane shows
    QCheckBox* cbEingebaut; // the built-in view instead of the rendering service's
    QButtonGroup* rgAnzeigePdfItems;
    TBrowserPane* wbRechnung;
    QSplitter* Splitter1;
    QWidget* Panel4;
    TClickPanel* pValidateHeader;
    TBrowserPane* wbValidator;
    QStatusBar* StatusBar1;
    QWebEngineProfile* BrowserProfile = nullptr;
    QString OpenTextFileDialogInitialDir;

    // The handlers, public so that tests can drive the window as a user does.
    void StringGrid1DblClick();
    void bLoadClick();
    void bVerlaufClick();
    void rgAnzeigePdfClick();
    void cbEingebautClick();
    void SaveAttachment(int number);
    void pAnnehmenClick();
    void pVerwerfenClick();
    void bEinstellungenClick();
    void lUpdateClick();
    // Completion of the update request, on the user-interface thread.
    void NetHTTPClient1RequestCompleted(const THttpResponse& response);
    TUpdateCheck* NetHTTPClient1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    void FormCreate();
    void FormShow();
    void SetBrowserEmulation();
    void ShowInBrowser(const QString& text, TBrowserPane* browser);
    void HotfolderUpdated(TEWorkflow* Sender);
    void WorkflowStateChanged(TEWorkflow* Sender);
    // What the history knows against the loaded invoice: a new account of a known seller
    // above the report and in the status bar, the same invoice in other bytes as a notice.
    void ShowHistoryNotices(TEWorkflow* Sender);
    QStringList Warnings(TEWorkflow* Sender);
    QString NoticesHtml(TEWorkflow* Sender);
    bool Confirmed(const QString& question) const;
    void SetSwitchForLoadedInvoice();
    void ShowInvoiceView();
    void SetViewLabel(const QString& text, const QString& why);
    void ShowWhoChecked(const TERechnung& r);
    void ClearSwitch();

    TFormEinstellungen* FormEinstellungen = nullptr;
    QString FFatalError;
    TWebSiteOptions FWebSite;
    bool FCloseWhenIdle = false; // closed while a check ran
};

// The verdict colours.
inline const QColor kRed(255, 0, 0);
inline const QColor kLime(0, 255, 0);
inline const QColor kYellow(255, 255, 0);
QColor ButtonFace();


