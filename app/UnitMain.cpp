#include "app/UnitMain.h"
#include "app/UnitVerlauf.h"
#include "app/UnitAnmeldung.h"

#include "app/BrowserPane.h"
#include "app/Version.h"
#include "invoice/ERechnung.h"
#include "mail/EMailImport.h"
#include "mail/UniqueFileName.h"
#include "model/Invoice.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/UserPrompt.h"
#include "settings/ESettings.h"
#include "settings/UnitSettings.h"
#include "widgets/Anchors.h"
#include "widgets/ClickPanel.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QHBoxLayout>
#include <QVBoxLayout>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kCaption = QStringLiteral("PALUDRA E-Rechnung Validator");
const QString kValidateCaption = QStringLiteral("Rechnung - Validierung");

// The report lists its facts as label/value pairs (dt/dd) whose lines only meet when the
// labels fit their fixed width in the report's font (Calibri): in a wider font a label
// wraps and every value slides up one line, so the reader pairs facts with the wrong
// labels. As a grid, each label and its value share one row whatever the font.
const QString kReportLayoutFix = QStringLiteral(
    "<style>"
    ".metadata dl{display:grid!important;grid-template-columns:max-content minmax(0,1fr);column-gap:1.5em;}"
    ".metadata dt{float:none!important;width:auto!important;clear:none!important;grid-column:1;margin:0;}"
    ".metadata dd{margin:0!important;grid-column:2;overflow-wrap:anywhere;}"
    "</style>");

// Shows the wait cursor while the blocking load, checks and filing run.
class TWaitCursor
{
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// The file: URL of a local path, its bytes percent-encoded: blanks and "#" must not cut
// it, and a name that is not UTF-8 must reach the browser as its own bytes.
QUrl LocalFileUrl(const QString& path)
{
    QByteArray bytes = EncodeFileName(path);
    if (!bytes.startsWith('/'))
        bytes.prepend('/'); // a Windows drive path
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/:"), QUrl::StrictMode);
}

QLabel* Caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

QColor ButtonFace()
{
    return QApplication::palette().color(QPalette::Button);
}

TForm1::TForm1(QWidget* parent, TWebSiteOptions webSite)
    : QMainWindow(parent)
    , FWebSite(std::move(webSite))
{
    BuildLayout();
    FormCreate();
}

TForm1::~TForm1()
{
    // The engine calls back into the window: it goes first.
    delete workflow;
    workflow = nullptr;
}

void TForm1::BuildLayout()
{
    setWindowTitle(kCaption);
    QFont font(QStringLiteral("Segoe UI"), 9);
    setFont(font);
    resize(1799, 878);
    move(0, 0);

    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    Panel1 = new QWidget(central);
    Panel1->setFixedHeight(185);
    Panel1->resize(1799, 185);
    column->addWidget(Panel1);

    Panel5 = new QWidget(Panel1);
    Panel5->setGeometry(0, 0, 870, 185);
    StringGrid1 = new QTableWidget(4, 2, Panel5);
    StringGrid1->setGeometry(0, 0, 870, 137);
    StringGrid1->setHorizontalHeaderLabels({QString(), QString()});
    StringGrid1->horizontalHeader()->resizeSection(0, 690);
    StringGrid1->horizontalHeader()->resizeSection(1, 102);
    StringGrid1->horizontalHeader()->setHighlightSections(false);
    StringGrid1->verticalHeader()->setFixedWidth(40);
    StringGrid1->verticalHeader()->setDefaultSectionSize(20);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    StringGrid1->setShowGrid(true);
    for (int row = 0; row < 4; ++row)
        StringGrid1->setVerticalHeaderItem(row, new QTableWidgetItem(QString()));
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this, [this] { Guarded([this] { StringGrid1DblClick(); }); });

    bLoad = new QPushButton(QStringLiteral("XRechnung zusätzlich laden von ..."), Panel5);
    bLoad->setGeometry(312, 145, qMax(201, bLoad->sizeHint().width()), 25);
    connect(bLoad, &QPushButton::clicked, this, [this] { Guarded([this] { bLoadClick(); }); });
    bVerlauf = new QPushButton(QStringLiteral("Verlauf..."), Panel5);
    bVerlauf->setGeometry(bLoad->geometry().right() + 9, 145, qMax(91, bVerlauf->sizeHint().width()), 25);
    bVerlauf->setToolTip(QStringLiteral("Alle Entscheidungen ansehen, suchen und exportieren"));
    connect(bVerlauf, &QPushButton::clicked, this, [this] { Guarded([this] { bVerlaufClick(); }); });

    pVerwerfen = new TClickPanel(QStringLiteral("Rechnung ablehnen"), Panel1);
    pVerwerfen->setGeometry(1197, 138, 264, 41);
    pVerwerfen->setToolTip(QStringLiteral("Damit wird die Rechnung in den Fehlerordner verschoben. Sie müssen den "
                                          "Rechnungs-Ersteller kontaktieren, und eine neue Rechnung anfordern."));
    connect(pVerwerfen, &TClickPanel::clicked, this, [this] { Guarded([this] { pVerwerfenClick(); }); });
    pAnnehmen = new TClickPanel(QStringLiteral("Rechnung annehmen"), Panel1);
    pAnnehmen->setGeometry(1523, 138, 264, 41);
    pAnnehmen->setToolTip(QStringLiteral("Damit wird die Rechnung in die Weiterverarbeitung gegeben"));
    connect(pAnnehmen, &TClickPanel::clicked, this, [this] { Guarded([this] { pAnnehmenClick(); }); });

    lUpdate = new TClickPanel(QStringLiteral("Update"), Panel1);
    lUpdate->setFrameShape(QFrame::NoFrame);
    lUpdate->setMargin(0);
    lUpdate->setAutoFillBackground(false);
    lUpdate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(lUpdate, &TClickPanel::clicked, this, [this] { Guarded([this] { lUpdateClick(); }); });
    lUpdate->setCursor(Qt::PointingHandCursor);
    lUpdate->setToolTip(QStringLiteral("Es steht ein Update zur Verfügung"));
    QFont underlined = font;
    underlined.setUnderline(true);
    lUpdate->setFont(underlined);
    QPalette highlight = lUpdate->palette();
    highlight.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::Highlight));
    lUpdate->setPalette(highlight);
    lUpdate->setGeometry(1659 - qMax(38, lUpdate->sizeHint().width()), 7, qMax(38, lUpdate->sizeHint().width()), 15);

    // The designed sizes are those of Segoe UI; a wider font widens a control to the left.
    Panel6 = new QWidget(Panel1);
    bEinstellungen = new QPushButton(QStringLiteral("Einstellungen..."), Panel6);
    const int settingsWidth = qMax(91, bEinstellungen->sizeHint().width());
    Panel6->setGeometry(1795 - settingsWidth - 3, 1, settingsWidth + 3, 22);
    bEinstellungen->setGeometry(3, 1, settingsWidth, 20);
    connect(bEinstellungen, &QPushButton::clicked, this, [this] { Guarded([this] { bEinstellungenClick(); }); });

    for (QWidget* w : {static_cast<QWidget*>(pVerwerfen), static_cast<QWidget*>(pAnnehmen), static_cast<QWidget*>(lUpdate), Panel6})
        AnchorRight(w);

    Splitter1 = new QSplitter(Qt::Horizontal, central);
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    column->addWidget(Splitter1, 1);

    Panel2 = new QWidget;
    auto* invoiceSide = new QVBoxLayout(Panel2);
    invoiceSide->setContentsMargins(0, 0, 0, 0);
    invoiceSide->setSpacing(0);
    Panel3 = Caption(QStringLiteral("Rechnung - Visualisierung"), Panel2);
    Panel3->setFixedHeight(48);
    Panel3->setFrameShape(QFrame::StyledPanel);
    invoiceSide->addWidget(Panel3);
    rgAnzeigePdf = new QGroupBox(QStringLiteral("Anzeige"), Panel3);
    rgAnzeigePdfItems = new QButtonGroup(rgAnzeigePdf);
    const QStringList items{QStringLiteral("PDF"), QStringLiteral("XML")};
    int itemX = 6;
    for (int i = 0; i < items.size(); ++i) {
        auto* item = new QRadioButton(items[i], rgAnzeigePdf);
        const int width = qMax(46, item->sizeHint().width());
        item->setGeometry(itemX, 17, width, 20);
        itemX += width;
        rgAnzeigePdfItems->addButton(item, i);
    }
    rgAnzeigePdf->setGeometry(1, 4, qMax(98, itemX + 4), 41);
    rgAnzeigePdf->setEnabled(false);
    connect(rgAnzeigePdfItems, &QButtonGroup::idClicked, this, [this] { Guarded([this] { rgAnzeigePdfClick(); }); });
    // Right in the header: which view the pane shows, and the choice of the built-in one.
    auto* viewChoice = new QWidget(Panel3);
    auto* viewColumn = new QVBoxLayout(viewChoice);
    viewColumn->setContentsMargins(0, 0, 0, 0);
    viewColumn->setSpacing(1);
    lAnsicht = new QLabel(viewChoice);
    lAnsicht->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cbEingebaut = new QCheckBox(QStringLiteral("eingebaute Ansicht"), viewChoice);
    cbEingebaut->setToolTip(QStringLiteral("Die Rechnung mit der Ansicht des Programms zeigen, ohne den Darstellungsdienst zu fragen"));
    viewColumn->addWidget(lAnsicht, 0, Qt::AlignRight);
    viewColumn->addWidget(cbEingebaut, 0, Qt::AlignRight);
    auto* headerRow = new QHBoxLayout(Panel3);
    headerRow->setContentsMargins(0, 2, 8, 2);
    headerRow->addStretch(1);
    headerRow->addWidget(viewChoice);
    connect(cbEingebaut, &QCheckBox::toggled, this, [this] { Guarded([this] { cbEingebautClick(); }); });
    wbRechnung = new TBrowserPane(Panel2);
    invoiceSide->addWidget(wbRechnung, 1);
    connect(wbRechnung, &TBrowserPane::AttachmentRequested, this,
            [this](int number) { Guarded([this, number] { SaveAttachment(number); }); });
    Splitter1->addWidget(Panel2);

    Panel4 = new QWidget;
    auto* reportSide = new QVBoxLayout(Panel4);
    reportSide->setContentsMargins(0, 0, 0, 0);
    reportSide->setSpacing(0);
    pValidateHeader = new TClickPanel(kValidateCaption, Panel4);
    pValidateHeader->setFixedHeight(48);
    reportSide->addWidget(pValidateHeader);
    wbValidator = new TBrowserPane(Panel4);
    reportSide->addWidget(wbValidator, 1);
    Splitter1->addWidget(Panel4);
    Splitter1->setSizes({873, 1799 - 873 - 3});
    Splitter1->setStretchFactor(1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(false);
    setStatusBar(StatusBar1);

    // The mail import polls from the window's creation on; it reads the engine's settings.
    MailImport = new TEMailImport(this, [this] { return workflow ? workflow->Settings() : nullptr; });
    MailImport->OnStatus = [this](const QString& text) { StatusBar1->showMessage(text); };

    for (TClickPanel* p : {pVerwerfen, pAnnehmen, pValidateHeader})
        p->SetColor(ButtonFace());
    // Nothing is loaded yet: nothing to decide.
    pVerwerfen->setEnabled(false);
    pAnnehmen->setEnabled(false);
}

void TForm1::FormCreate()
{
    try {
        // The random numbers of the web requests come from a generator seeded by the system.
        SetBrowserEmulation();
#ifdef Q_OS_WIN
        // A system-menu item without a command behind it, as the window always had.
        AppendMenuW(GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE), MF_STRING, 100, L"Über PALUDRA Validator...");
#endif
        OpenTextFileDialogInitialDir = QStringLiteral(".");

        workflow = new TEWorkflow(this);
        workflow->SetOnHotfolderUpdated([this](TEWorkflow* sender) { HotfolderUpdated(sender); });
        workflow->SetOnStateChanged([this](TEWorkflow* sender) { WorkflowStateChanged(sender); });

        StringGrid1->setHorizontalHeaderItem(0, new QTableWidgetItem(QStringLiteral("Hot-Folder Inhalt")));

        TRegistryKey settingsKey(QStringLiteral("PALUDRA_ERechnungsEingang\\Main"));
        settingsKey.WriteString(QStringLiteral("Pfad_Settings"),
                                settingsKey.ReadString(QStringLiteral("Pfad_Settings"), GetLocalAppDataFolder()));

        paludraInfosGezeigt = false;
        setWindowTitle(windowTitle() + QStringLiteral(", Version ") + GetVersionString());

        NetHTTPClient1 = new TUpdateCheck(this);
        NetHTTPClient1->Start(FWebSite.UpdateBase + QStringLiteral("/?rand=") + QString::number(RandomQueryNumber()), FWebSite,
                              [this](const THttpResponse& response) { NetHTTPClient1RequestCompleted(response); });

        const QString browserData = GetLocalAppDataFolder() + QStringLiteral("E-Rechnung-UserDataFolder");
        QDir().mkdir(browserData); // exists already after the first start: no matter
        BrowserProfile = CreateBrowserProfile(browserData, this);
        wbRechnung->SetProfile(BrowserProfile);
        wbValidator->SetProfile(BrowserProfile);
    } catch (...) {
        if (!workflow) {
            // Without its engine the window cannot do anything: the program ends.
            FFatalError = CurrentExceptionMessage();
            return;
        }
        HandleCurrentException();
    }
}

void TForm1::SetBrowserEmulation()
{
    TRegistryKey key(QStringLiteral("SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION"));
    const QString exe = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    bool ok = false;
    if (key.ReadDWord(exe, &ok) != 11001 || !ok)
        key.WriteDWord(exe, 11001);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (workflow && workflow->Busy()) {
        // The checks of an invoice are under way: they are cancelled, and the window
        // closes as soon as they have ended.
        FCloseWhenIdle = true;
        workflow->CancelChecks();
        StatusBar1->showMessage(QStringLiteral("Die Prüfung wird abgebrochen, das Programm wird beendet ..."));
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void TForm1::SetSettingsForm(TFormEinstellungen* form)
{
    FormEinstellungen = form;
    if (!form)
        return;
    form->OnDescribeSignIn = [this](const TESettings& account) { return MailImport->Session.Describe(account); };
    form->OnSignIn = [this](const TESettings& account) {
        TFormAnmeldung window(FormEinstellungen);
        if (window.SignIn(MailImport->Session, account))
            StatusBar1->showMessage(QStringLiteral("Bei Microsoft 365 angemeldet."));
    };
    form->OnSignOut = [this] {
        MailImport->Disconnect();
        const QString note = MailImport->Session.SignOut();
        if (!note.isEmpty())
            TUserPrompt::Ask({QStringLiteral("Abmelden"), note, TPromptIcon::Warning, TPromptButtons::Ok});
    };
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    Guarded([this] { FormShow(); });
}

void TForm1::FormShow()
{
    if (workflow && FormEinstellungen)
        workflow->SetSettings(FormEinstellungen->Settings());
    if (!paludraInfosGezeigt) {
        paludraInfosGezeigt = true;
        wbRechnung->Navigate(QUrl(FWebSite.WebBase + QStringLiteral("/de/Landing/ruzodaduz_evivarivi_dororiduz?rand=")
                                  + QString::number(RandomQueryNumber())));
        wbValidator->Navigate(QUrl(QStringLiteral("about:blank")));
    }
}

void TForm1::NetHTTPClient1RequestCompleted(const THttpResponse& response)
{
    // Nothing of this is shown to the user: a page that says nothing changes nothing.
    try {
        const QString published = PublishedVersion(response.ContentType, response.Body);
        if (!published.isEmpty())
            lUpdate->setVisible(published != GetVersionString());
    } catch (...) {
    }
}

void TForm1::lUpdateClick()
{
    QDesktopServices::openUrl(QUrl(FWebSite.UpdateBase));
}

// Shows text (from the services, or our own) as HTML. It is never taken as an address: a
// service answering "file:///..." must not open a local file in the pane. Only the
// program's own PDF view navigates (rgAnzeigePdfClick).
void TForm1::ShowInBrowser(const QString& text, TBrowserPane* browser)
{
    browser->NavigateToString(QStringLiteral("<html><body>") + text + QStringLiteral("</body></html>"));
}

void TForm1::HotfolderUpdated(TEWorkflow* Sender)
{
    const QStringList& files = Sender->Files();
    const int current = StringGrid1->currentRow();
    StringGrid1->setRowCount(0);
    StringGrid1->setRowCount(int(qMax<qsizetype>(1, files.size())));
    for (int row = 0; row < files.size(); ++row) {
        // The row shows the name as the user reads it and keeps the path as the file
        // system has it (a name need not be UTF-8).
        auto* item = new QTableWidgetItem(DisplayFileName(files[row]));
        item->setData(Qt::UserRole, files[row]);
        StringGrid1->setItem(row, 0, item);
    }
    for (int row = 0; row < StringGrid1->rowCount(); ++row)
        StringGrid1->setVerticalHeaderItem(row, new QTableWidgetItem(QString()));
    if (current >= 0)
        StringGrid1->setCurrentCell(qMin(current, StringGrid1->rowCount() - 1), 0);
}

void TForm1::StringGrid1DblClick()
{
    const int row = StringGrid1->currentRow();
    const QTableWidgetItem* item = row >= 0 ? StringGrid1->item(row, 0) : nullptr;
    const QString path = item ? item->data(Qt::UserRole).toString() : QString();
    if (path.isEmpty())
        return;
    SetFile(path);
}

void TForm1::bLoadClick()
{
    const QString file = TUserPrompt::OpenFile(OpenTextFileDialogInitialDir);
    if (file.isEmpty())
        return;
    ShowInBrowser(QStringLiteral("..."), wbRechnung);
    ShowInBrowser(QStringLiteral("..."), wbValidator);
    SetFile(file);
}

void TForm1::SetFile(const QString& filepath)
{
    if (workflow->Busy()) {
        // The checks of the invoice before are still running: the window stays usable
        // meanwhile, but one invoice at a time.
        StatusBar1->showMessage(QStringLiteral("Bitte warten: %1 wird noch geprüft.")
                                    .arg(DisplayFileName(workflow->Rechnung()->OriginalFilePath())),
                                5000);
        return;
    }
    // While the checks run, the status bar says what the wait is for; what the checks
    // say afterwards replaces it, and it goes when they are done.
    const QString checking = QStringLiteral("%1 wird geprüft ...").arg(DisplayFileName(filepath));
    StatusBar1->showMessage(checking);
    const auto doneChecking = [this, &checking] {
        if (StatusBar1->currentMessage() == checking)
            StatusBar1->clearMessage();
    };
    try {
        TWaitCursor wait;
        workflow->Start(filepath);
        doneChecking();
    } catch (...) {
        doneChecking();
        if (FCloseWhenIdle) {
            close(); // the user closed the window while the checks ran: they were cancelled
            return;
        }
        throw;
    }
    if (FCloseWhenIdle) {
        close();
        return;
    }
    SetSwitchForLoadedInvoice();
}

// The switch always says what the invoice pane shows. A PDF is shown as the PDF first;
// one that carries an invoice can be switched to its rendering. An XML invoice has
// nothing but its rendering: "XML", and the switch stays off.
void TForm1::SetSwitchForLoadedInvoice()
{
    const TERechnung& r = *workflow->Rechnung();
    if (r.IsPdf()) {
        rgAnzeigePdfItems->button(0)->setChecked(true);
        rgAnzeigePdf->setEnabled(!r.GetXmlData().isEmpty());
        rgAnzeigePdfClick();
    } else {
        rgAnzeigePdfItems->button(1)->setChecked(true); // the pane shows the rendering already
        rgAnzeigePdf->setEnabled(false);
    }
}

void TForm1::ClearSwitch()
{
    rgAnzeigePdf->setEnabled(false);
    rgAnzeigePdfItems->setExclusive(false);
    for (QAbstractButton* b : rgAnzeigePdfItems->buttons())
        b->setChecked(false);
    rgAnzeigePdfItems->setExclusive(true);
}

void TForm1::rgAnzeigePdfClick()
{
    const TERechnung& r = *workflow->Rechnung();
    if (rgAnzeigePdfItems->checkedId() == 0) {
        // Only a PDF is ever shown as PDF: the file itself (a ".PDF" is no ".pdf" where names
        // are case-sensitive).
        wbRechnung->Navigate(LocalFileUrl(QDir::fromNativeSeparators(r.OriginalFilePath())));
        SetViewLabel(QStringLiteral("Ansicht: PDF"), QString());
    } else {
        ShowInvoiceView();
    }
}

// The invoice as HTML: the rendering service's, or the built-in view when the user chose
// it (no network then) or the service could not render.
void TForm1::ShowInvoiceView()
{
    TERechnung& r = *workflow->Rechnung();
    // Attachments are saved by the program (SaveAttachment), not carried in the page.
    r.SetAttachmentAddress(TBrowserPane::AttachmentAddress());
    if (cbEingebaut->isChecked()) {
        wbRechnung->NavigateToString(r.RenderBuiltIn());
        SetViewLabel(QStringLiteral("Ansicht: eingebaut"), QStringLiteral("Sie haben die eingebaute Ansicht gewählt."));
        return;
    }
    const QString html = r.Render();
    if (r.RenderedBy() == TRenderedBy::BuiltIn) {
        wbRechnung->NavigateToString(html); // a page of its own, with its own head
        SetViewLabel(QStringLiteral("Ansicht: eingebaut"), r.RenderNote());
        StatusBar1->showMessage(QStringLiteral("Eingebaute Ansicht: ") + r.RenderNote(), 10000);
    } else {
        ShowInBrowser(html, wbRechnung);
        SetViewLabel(QStringLiteral("Ansicht: Prüfdienst"), QStringLiteral("Die Darstellung kommt vom Darstellungsdienst."));
    }
}

// An attachment of the built-in view, saved where the user says. The name the invoice
// gives it is only a suggestion, made safe (no folders, no device names).
void TForm1::SaveAttachment(int number)
{
    const TInvoice* invoice = workflow->Rechnung()->Model();
    const std::optional<TEmbeddedAttachment> attachment = invoice ? EmbeddedAttachment(*invoice, number) : std::nullopt;
    if (!attachment)
        return;
    const QString target = TUserPrompt::SaveFile(SafeAttachmentName(attachment->FileName));
    if (target.isEmpty())
        return;
    const QString error = WriteFileReplacing(target, attachment->Content);
    if (!error.isEmpty())
        throw Exception(QStringLiteral("Der Anhang konnte nicht als %1 gespeichert werden: %2").arg(DisplayFileName(target), error));
    StatusBar1->showMessage(QStringLiteral("Anhang gespeichert: %1").arg(DisplayFileName(target)), 10000);
}

// The verdict label says whose verdict it is, so that nobody takes the program's own
// checks for the service's.
void TForm1::ShowWhoChecked(const TERechnung& r)
{
    QString caption = kValidateCaption;
    switch (r.CheckedBy()) {
    case TCheckedBy::Service:
        caption += QStringLiteral(" (Prüfdienst)");
        break;
    case TCheckedBy::BuiltIn:
        caption += QStringLiteral(" (eingebaute Prüfung)");
        StatusBar1->showMessage(QStringLiteral("Eingebaute Prüfung: ") + r.CheckNote(), 10000);
        break;
    case TCheckedBy::Nobody:
        break;
    }
    pValidateHeader->setText(caption);
    pValidateHeader->setToolTip(r.CheckNote());
}

void TForm1::SetViewLabel(const QString& text, const QString& why)
{
    lAnsicht->setText(text);
    lAnsicht->setToolTip(why);
}

void TForm1::cbEingebautClick()
{
    // Only the invoice's own view changes; a PDF shown stays.
    if (workflow->State() == wsNone || workflow->State() == wsLoaded || rgAnzeigePdfItems->checkedId() != 1)
        return;
    ShowInvoiceView();
}

void TForm1::WorkflowStateChanged(TEWorkflow* Sender)
{
    TERechnung& r = *Sender->Rechnung();
    // A decision needs a verdict: without one (nothing loaded, the checks still running or
    // failed) neither panel nor the switch can be used.
    const bool verdict = Sender->State() != wsNone && Sender->State() != wsLoaded;
    pAnnehmen->setEnabled(verdict);
    pVerwerfen->setEnabled(verdict);
    if (!verdict)
        ClearSwitch();
    if (Sender->State() == wsNone) {
        SetViewLabel(QString(), QString());
        ShowWhoChecked(r);
    }
    switch (Sender->State()) {
    case wsNone:
        pVerwerfen->SetColor(ButtonFace());
        pAnnehmen->SetColor(ButtonFace());
        pValidateHeader->SetColor(ButtonFace());
        ShowInBrowser(QStringLiteral("..."), wbRechnung);
        ShowInBrowser(QStringLiteral("..."), wbValidator);
        repaint(); // the reset is visible before the blocking work starts
        break;
    case wsLoaded:
        pVerwerfen->SetColor(ButtonFace());
        pAnnehmen->SetColor(ButtonFace());
        {
            // The report, the warnings (and notes) of the history and of the PDF's pages
            // above it: made before, shown once.
            const QString notices = NoticesHtml(Sender);
            ShowInBrowser(kReportLayoutFix + notices + r.Validate(), wbValidator);
        }
        ShowInvoiceView();
        ShowWhoChecked(r); // after the view: its reason, when the check's, says less
        break;
    case wsShouldDeny:
        pVerwerfen->SetColor(kRed);
        pAnnehmen->SetColor(ButtonFace());
        pValidateHeader->SetColor(kRed);
        break;
    case wsShouldAccept:
        pVerwerfen->SetColor(ButtonFace());
        pAnnehmen->SetColor(kLime);
        pValidateHeader->SetColor(kLime);
        break;
    case wsDuplicate: {
        pVerwerfen->SetColor(kRed);
        pAnnehmen->SetColor(ButtonFace());
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        TUserPrompt::Ask({QStringLiteral("Achtung"), DuplicateNotice(Sender->PreviousDecision()), TPromptIcon::Warning,
                          TPromptButtons::Ok});
        QApplication::restoreOverrideCursor();
        break;
    }
    case wsWaveThrough: {
        pVerwerfen->SetColor(ButtonFace());
        pAnnehmen->SetColor(ButtonFace());
        pValidateHeader->SetColor(kYellow);
        const QString reason = r.NoEInvoiceReason();
        if (!reason.isEmpty())
            StatusBar1->showMessage(reason);
        break;
    }
    }
    if (Sender->State() == wsShouldDeny || Sender->State() == wsShouldAccept || Sender->State() == wsWaveThrough)
        ShowHistoryNotices(Sender);
}

QStringList TForm1::Warnings(TEWorkflow* Sender)
{
    QStringList warnings;
    if (const std::optional<TNewAccount>& account = Sender->NewAccount())
        warnings << NewAccountNotice(*account);
    const TPdfComparison& pdf = Sender->Rechnung()->PdfCheck();
    if (pdf.State == TPdfComparison::TState::Differs)
        warnings << pdf.Missing;
    return warnings;
}

QString TForm1::NoticesHtml(TEWorkflow* Sender)
{
    // Warnings that must not be missed stand red above the report; a note (the pages
    // agree, or could not be compared) stands small above it.
    QString html;
    for (const QString& w : Warnings(Sender))
        html += QStringLiteral("<p class=\"important\" style=\"font-family:sans-serif;background:#ffd6d6;"
                               "border:2px solid #c00000;padding:6pt;font-weight:bold;margin:2pt 0\">%1</p>")
                    .arg(w.toHtmlEscaped());
    const TPdfComparison& pdf = Sender->Rechnung()->PdfCheck();
    if (pdf.State != TPdfComparison::TState::Differs && pdf.State != TPdfComparison::TState::NotCompared)
        html += QStringLiteral("<p style=\"font-family:sans-serif;color:#555;font-size:9pt;margin:2pt 0\">%1</p>")
                    .arg(pdf.Note().toHtmlEscaped());
    return html;
}

void TForm1::ShowHistoryNotices(TEWorkflow* Sender)
{
    const QStringList warnings = Warnings(Sender);
    if (!warnings.isEmpty())
        StatusBar1->showMessage(warnings.join(QStringLiteral(" – ")));
    if (const std::optional<TSameInvoice>& same = Sender->SameInvoice(); same && Sender->Facts()) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        TUserPrompt::Ask({QStringLiteral("Achtung"), SameInvoiceNotice(*Sender->Facts(), *same), TPromptIcon::Warning,
                          TPromptButtons::Ok});
        QApplication::restoreOverrideCursor();
    }
}

// A decision against the verdict goes ahead only on "Ja": Enter and Escape mean "Nein",
// so a hasty key press never files an invoice against the recommendation.
bool TForm1::Confirmed(const QString& question) const
{
    return TUserPrompt::Ask({QStringLiteral("Warnung"), question, TPromptIcon::Question, TPromptButtons::YesNo, true})
        == TPromptAnswer::Yes;
}

void TForm1::pAnnehmenClick()
{
    const TERechnung& r = *workflow->Rechnung();
    if (const std::optional<TNewAccount>& account = workflow->NewAccount();
        account && !Confirmed(NewAccountNotice(*account) + QStringLiteral("\r\n\r\nSoll die Rechnung trotzdem angenommen werden?")))
        return;
    if (!r.IsValid() && !r.IsSonstigeRechnung()
        && !Confirmed(QStringLiteral("Die Rechnung ist offenbar nicht korrekt ausgestellt worden. "
                                     "Soll sie trotzdem weiter verarbeitet werden?")))
        return;
    TWaitCursor wait;
    workflow->Accept();
}

void TForm1::pVerwerfenClick()
{
    const TERechnung& r = *workflow->Rechnung();
    if (r.IsValid() && !r.IsDuplicate()
        && !Confirmed(QStringLiteral("Die Rechnung ist offenbar korrekt. Soll sie trotzdem in den Fehlerordner verschoben werden?")))
        return;
    TWaitCursor wait;
    workflow->Deny();
}

void TForm1::bVerlaufClick()
{
    if (!workflow)
        return;
    if (!FormVerlauf)
        FormVerlauf = new TFormVerlauf(this, workflow->History(), workflow->Settings());
    else
        FormVerlauf->Refresh(); // decisions made since
    FormVerlauf->show();
    FormVerlauf->raise();
    FormVerlauf->activateWindow();
}

void TForm1::bEinstellungenClick()
{
    if (!FormEinstellungen || !FormEinstellungen->ShowModal())
        return;
    workflow->SetSettings(FormEinstellungen->Settings());
    // The next poll, a second from now, connects with the new account.
    MailImport->Disconnect();
    MailImport->tImap->setInterval(1000);
}
