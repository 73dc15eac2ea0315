#include "settings/UnitSettings.h"

#include "platform/Exception.h"
#include "platform/Paths.h"
#include "platform/ShellLink.h"
#include "platform/UserFolders.h"
#include "platform/UserPrompt.h"
#include "services/ServiceOptions.h"
#include "widgets/Anchors.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyle>

namespace {

QWidget* Colored(QWidget* w, const QColor& color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    w->setPalette(p);
    w->setAutoFillBackground(true);
    return w;
}

// Puts a control at its designed place; a text that needs more room than designed (the
// designed sizes are those of Segoe UI) widens the control instead of being cut.
template <typename T>
T* Place(T* widget, int x, int y, int w = -1, int h = -1)
{
    const QSize hint = widget->sizeHint();
    widget->setGeometry(x, y, qMax(w, hint.width()), h < 0 ? hint.height() : h);
    return widget;
}

// The x of a control that follows another one in a row, 6 pixels after it.
int After(const QWidget* previous)
{
    return previous->x() + previous->width() + 6;
}

} // namespace

TFormEinstellungen::TFormEinstellungen(QWidget* parent)
    : QDialog(parent)
{
    BuildLayout();
    Guarded([this] { FormCreate(); });
}

TFormEinstellungen::~TFormEinstellungen() = default;

void TFormEinstellungen::BuildLayout()
{
    setWindowTitle(QStringLiteral("Programm Einstellungen"));
    resize(597, 780);
    setWindowOpacity(240.0 / 255.0);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setGeometry(0, 0, 597, 739);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(true);
    auto* content = new QWidget;
    content->setMinimumSize(593, 670);
    content->resize(597, 739);
    ScrollBox1->setWidget(content);

    GroupBox1 = new QGroupBox(QStringLiteral("Ordnerpfade"), content);
    GroupBox1->setGeometry(3, 3, 591, 342);
    Colored(GroupBox1, QColor(192, 192, 192));
    auto folderRow = [this](QLabel*& label, const QString& text, QLineEdit*& edit, QPushButton*& button, int y) {
        label = Place(new QLabel(text, GroupBox1), 11, y);
        edit = new QLineEdit(GroupBox1);
        edit->setGeometry(11, y + 21, 539, 23);
        button = new QPushButton(QStringLiteral("..."), GroupBox1);
        button->setGeometry(556, y + 20, 23, 25);
        connect(button, &QPushButton::clicked, this, [this, edit] { Guarded([this, edit] { SelectFolderFor(edit); }); });
    };
    folderRow(Label1, QStringLiteral("Hotfolder - Überwachen auf Eingang von Dateien"), eHotFolder, bHotFolder, 34);
    folderRow(Label2, QStringLiteral("Weiterverarbeitung - hierhin werden die validen XRechnungen  verschoben"),
              eWeiterverarbeitung, bWeiterverarbeitung, 100);
    folderRow(Label3, QStringLiteral("Problemordner - hierhin werden ungültige Dateien verschoben"), eFehlerordner,
              bFehlerordner, 162);
    folderRow(Label4, QStringLiteral("DMS-Ordner - hierhin wird das Original der Rechnung archiviert"), eDmsOrdner,
              bDmsOrdner, 227);
    cbNoAutoFolders = Place(new QCheckBox(QStringLiteral("Ordner nicht automatisch anlegen"), GroupBox1), 11, 288, 214, 17);
    cbNoAutoFolders->setToolTip(QStringLiteral("Wenn Sie Ihre Gründe haben, können Sie verhindern, dass das Programm "
                                               "Ordner automatisch anlegt. Default: Nicht angehakt"));

    GroupBox2 = new QGroupBox(QStringLiteral("Automatischer E-Mail Import"), content);
    GroupBox2->setGeometry(0, 348, 593, 232);
    Colored(GroupBox2, QColor(160, 160, 164));
    // The rows are laid out left to right with the designed gaps, so that a wider font
    // moves the next control instead of covering it.
    RadioGroup1 = new QGroupBox(QStringLiteral("Typ"), GroupBox2);
    RadioGroup1Items = new QButtonGroup(RadioGroup1);
    const QStringList types{QStringLiteral("IMAP"), QStringLiteral("Office 365")};
    int itemX = 8;
    for (int i = 0; i < types.size(); ++i) {
        auto* item = Place(new QRadioButton(types[i], RadioGroup1), itemX, 17, 72, 20);
        RadioGroup1Items->addButton(item, i);
        itemX = After(item);
    }
    Place(RadioGroup1, 14, 24, qMax(163, itemX), 41);
    cbNoMail = Place(new QCheckBox(QStringLiteral("Mailabholung stoppen"), GroupBox2), After(RadioGroup1), 40, 146, 17);
    connect(cbNoMail, &QCheckBox::toggled, this, [this] { Guarded([this] { cbNoMailClick(); }); });
    Label5 = Place(new QLabel(QStringLiteral("Host/Server"), GroupBox2), 14, 78);
    cbMailHost = new QComboBox(GroupBox2);
    cbMailHost->setEditable(true);
    cbMailHost->addItem(QString::fromLatin1(kDefaultMailServer));
    cbMailHost->setGeometry(14, 99, 298, 23);
    cbEmailPort = new QComboBox(GroupBox2);
    cbEmailPort->setEditable(true);
    cbEmailPort->addItems({QStringLiteral("993"), QStringLiteral("143")});
    Place(cbEmailPort, After(cbMailHost), 99, 51, 23);
    Label6 = Place(new QLabel(QStringLiteral("Port"), GroupBox2), cbEmailPort->x(), 78);
    cbMailTLS = new QComboBox(GroupBox2);
    cbMailTLS->addItems({QStringLiteral("NoTLS"), QStringLiteral("ImplicitTLS(default)"), QStringLiteral("ExplicitTLS"),
                         QStringLiteral("RequireTLS")});
    cbMailTLS->setCurrentIndex(1);
    Place(cbMailTLS, 14, 160, 131, 23);
    Label7 = Place(new QLabel(QStringLiteral("TLS"), GroupBox2), 14, 139);
    eMailUser = Place(new QLineEdit(GroupBox2), After(cbMailTLS), 160, 121, 23);
    Label8 = Place(new QLabel(QStringLiteral("Benutzer"), GroupBox2), eMailUser->x(), 139);
    eMailKennwort = Place(new QLineEdit(GroupBox2), After(eMailUser), 160, 200, 23);
    Label9 = Place(new QLabel(QStringLiteral("Kennwort"), GroupBox2), eMailKennwort->x(), 139);
    eMailUser->setToolTip(QStringLiteral("Bei Office 365 die Adresse des Postfachs, z. B. rechnungen@firma.de"));

    // Office 365 signs in with OAuth 2.0: no password, a tenant and an app registration.
    eMailTenant = Place(new QLineEdit(GroupBox2), After(eMailUser), 160, 120, 23);
    eMailTenant->setPlaceholderText(QString::fromLatin1(kDefaultMailTenant));
    eMailTenant->setToolTip(QStringLiteral("Verzeichnis-ID oder Domäne Ihrer Firma bei Microsoft 365; "
                                           "„organizations“: jedes Geschäfts- oder Schulkonto"));
    Label12 = Place(new QLabel(QStringLiteral("Mandant"), GroupBox2), eMailTenant->x(), 139);
    eMailClientId = Place(new QLineEdit(GroupBox2), After(eMailTenant), 160, 579 - After(eMailTenant), 23);
    eMailClientId->setPlaceholderText(QStringLiteral("Anwendungs-ID (Client-ID) der App-Registrierung"));
    eMailClientId->setToolTip(QStringLiteral("Die Anwendungs-ID der App-Registrierung Ihrer Firma (siehe Handbuch)"));
    Label13 = Place(new QLabel(QStringLiteral("Client-ID"), GroupBox2), eMailClientId->x(), 139);
    bAnmelden = Place(new QPushButton(QStringLiteral("Anmelden"), GroupBox2), 14, 192, 91, 25);
    bAbmelden = Place(new QPushButton(QStringLiteral("Abmelden"), GroupBox2), After(bAnmelden), 192, 91, 25);
    lAnmeldung = Place(new QLabel(GroupBox2), After(bAbmelden), 188, 579 - After(bAbmelden), 34);
    lAnmeldung->setWordWrap(true);
    connect(bAnmelden, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (OnSignIn)
                OnSignIn(AccountFromUI());
        });
        Guarded([this] { ShowSignInState(); });
    });
    connect(bAbmelden, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (OnSignOut)
                OnSignOut();
        });
        Guarded([this] { ShowSignInState(); });
    });
    for (QLineEdit* edit : {eMailTenant, eMailClientId})
        connect(edit, &QLineEdit::textChanged, this, [this] { Guarded([this] { ShowSignInState(); }); });
    connect(RadioGroup1Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            Guarded([this] { RadioGroup1Change(); });
    });

    GroupBox3 = new QGroupBox(QStringLiteral("Prüfung"), content);
    GroupBox3->setGeometry(0, 583, 593, 86);
    Colored(GroupBox3, QColor(192, 192, 192));
    Label10 = Place(new QLabel(QStringLiteral("Wer prüft die Rechnungen"), GroupBox3), 14, 24);
    cbPruefung = new QComboBox(GroupBox3);
    cbPruefung->addItem(QStringLiteral("Prüfdienst"), QString::fromLatin1(kPruefungDienst));
    cbPruefung->addItem(QStringLiteral("Eingebaut"), QString::fromLatin1(kPruefungEingebaut));
    cbPruefung->addItem(QStringLiteral("Prüfdienst, eingebaut wenn nicht erreichbar"),
                        QString::fromLatin1(kPruefungDienstOderEingebaut));
    cbPruefung->setToolTip(QStringLiteral("Die eingebaute Prüfung braucht kein Netz und antwortet sofort; ihr Bericht "
                                          "ist als „Eingebaute Prüfung“ überschrieben."));
    Place(cbPruefung, 14, 45, 260, 23);
    connect(cbPruefung, &QComboBox::currentIndexChanged, this, [this] { Guarded([this] { cbPruefungChange(); }); });
    ePruefdienstUrl = Place(new QLineEdit(GroupBox3), After(cbPruefung), 45, 579 - After(cbPruefung), 23);
    ePruefdienstUrl->setPlaceholderText(TServiceOptions{}.BaseUrl);
    ePruefdienstUrl->setToolTip(QStringLiteral("https://Rechner oder https://Rechner:Port; leer: die Adresse, mit der "
                                               "das Programm ausgeliefert wurde"));
    Label11 = Place(new QLabel(QStringLiteral("Adresse des Prüfdienstes"), GroupBox3), ePruefdienstUrl->x(), 24);

    Panel2 = new QWidget(this);
    Panel2->setGeometry(0, 739, 597, 41);
    bbOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), Panel2);
    bbOK->setGeometry(16, 8, 75, 25);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Abbrechen"), Panel2);
    BitBtn2->setGeometry(493, 8, 91, 25);
    bbOK->setDefault(true);
    connect(bbOK, &QPushButton::clicked, this, [this] {
        // The dialog closes with OK also when taking over the values fails.
        Guarded([this] { bbOKClick(); });
        accept();
    });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    // What keeps its place when the dialog is resized.
    StretchWidth(GroupBox1);
    StretchWidth(GroupBox2);
    StretchWidth(GroupBox3);
    for (QLineEdit* edit : {eHotFolder, eWeiterverarbeitung, eFehlerordner, eDmsOrdner, ePruefdienstUrl, eMailClientId})
        StretchWidth(edit);
    for (QPushButton* button : {bHotFolder, bWeiterverarbeitung, bFehlerordner, bDmsOrdner})
        AnchorRight(button);
    AnchorRight(BitBtn2);
    RadioGroup1Change();
}

void TFormEinstellungen::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The button panel stays at the bottom, the scroll box takes the rest.
    Panel2->setGeometry(0, height() - 41, width(), 41);
    ScrollBox1->setGeometry(0, 0, width(), height() - 41);
}

void TFormEinstellungen::FormCreate()
{
    FSettings = std::make_unique<TESettings>();
    ReadSettingsFromPersistent();
}

void TFormEinstellungen::ReadSettingsFromPersistent()
{
    ::ReadSettingsFromPersistent(*FSettings);
}

void TFormEinstellungen::WriteSettingsToPersistent()
{
    ::WriteSettingsToPersistent(*FSettings);
}

bool TFormEinstellungen::ShowModal()
{
    if (QWidget* main = parentWidget() ? parentWidget() : QApplication::activeWindow())
        move(main->geometry().center() - rect().center());
    return exec() == QDialog::Accepted;
}

void TFormEinstellungen::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Guarded([this] { FormShow(); });
}

void TFormEinstellungen::WriteSettingToUI()
{
    const TESettings& s = *FSettings;
    eHotFolder->setText(s.HotfolderPfad);
    eFehlerordner->setText(s.ProblemPfad);
    eWeiterverarbeitung->setText(s.WeiterverarbeitungPfad);
    eDmsOrdner->setText(s.DMSPfad);

    RadioGroup1Items->setExclusive(false);
    for (QAbstractButton* item : RadioGroup1Items->buttons())
        item->setChecked(item->text().compare(s.MailType, Qt::CaseInsensitive) == 0);
    RadioGroup1Items->setExclusive(true);

    cbMailHost->setEditText(s.MailServer);
    cbEmailPort->setEditText(QString::number(s.MailPort));
    cbMailTLS->setCurrentIndex(s.MailTLS >= 0 && s.MailTLS < cbMailTLS->count() ? s.MailTLS : -1);
    eMailUser->setText(s.MailUser);
    eMailKennwort->setText(s.MailPass);
    eMailTenant->setText(s.MailTenant == QLatin1String(kDefaultMailTenant) ? QString() : s.MailTenant);
    eMailClientId->setText(s.MailClientId);
    FAuthority = s.MailAuthority;
    RadioGroup1Change();
    cbNoMail->setChecked(s.MailDisabled); // runs cbNoMailClick when it changes
    cbNoAutoFolders->setChecked(s.CreateFolderDisabled);
    // An unknown value selects nothing, as the TLS list does; taking it over keeps it.
    cbPruefung->setCurrentIndex(cbPruefung->findData(s.Pruefung));
    ePruefdienstUrl->setText(s.PruefdienstUrl);
    cbPruefungChange();
}

void TFormEinstellungen::ReadSettingsFromUI()
{
    // Each value goes into the settings object at once: when one fails, the earlier ones
    // are taken over and the later ones keep their old values.
    TESettings& s = *FSettings;
    s.HotfolderPfad = eHotFolder->text();
    s.ProblemPfad = eFehlerordner->text();
    s.WeiterverarbeitungPfad = eWeiterverarbeitung->text();
    s.DMSPfad = eDmsOrdner->text();
    const int type = RadioGroup1Items->checkedId();
    if (type < 0)
        throw Exception(QStringLiteral("Listenindex außerhalb des gültigen Bereichs (%1)").arg(type));
    s.MailType = RadioGroup1Items->button(type)->text();
    s.MailServer = cbMailHost->currentText();
    qint32 port = 0;
    if (!ParseSettingsInteger(cbEmailPort->currentText(), port))
        throw Exception(QStringLiteral("'%1' ist kein gültiger Integerwert").arg(cbEmailPort->currentText()));
    s.MailPort = port;
    s.MailTLS = cbMailTLS->currentIndex();
    s.MailUser = eMailUser->text();
    s.MailPass = eMailKennwort->text();
    s.MailTenant = eMailTenant->text().trimmed().isEmpty() ? QString::fromLatin1(kDefaultMailTenant) : eMailTenant->text().trimmed();
    s.MailClientId = eMailClientId->text().trimmed();
    s.MailDisabled = cbNoMail->isChecked();
    s.CreateFolderDisabled = cbNoAutoFolders->isChecked();
    if (cbPruefung->currentIndex() >= 0)
        s.Pruefung = cbPruefung->currentData().toString();
    s.PruefdienstUrl = NormalizeServiceUrl(ePruefdienstUrl->text());
}

void TFormEinstellungen::bbOKClick()
{
    ReadSettingsFromUI();
    WriteSettingsToPersistent();
}

void TFormEinstellungen::cbNoMailClick()
{
    RadioGroup1->setEnabled(!cbNoMail->isChecked());
}

void TFormEinstellungen::RadioGroup1Change()
{
    const QAbstractButton* type = RadioGroup1Items->checkedButton();
    const bool office365 = type && type->text() == QLatin1String(kMailTypeOffice365);
    for (QWidget* w : {static_cast<QWidget*>(Label9), static_cast<QWidget*>(eMailKennwort)})
        w->setVisible(!office365);
    for (QWidget* w : std::initializer_list<QWidget*>{Label12, eMailTenant, Label13, eMailClientId, bAnmelden, bAbmelden, lAnmeldung})
        w->setVisible(office365);
    // Switching to Office 365 with the host of another kind offers Exchange Online's.
    if (office365 && (cbMailHost->currentText().trimmed().isEmpty() || cbMailHost->currentText() == QLatin1String(kDefaultMailServer))) {
        cbMailHost->setEditText(QString::fromLatin1(kOffice365MailServer));
        cbEmailPort->setEditText(QStringLiteral("993"));
        cbMailTLS->setCurrentIndex(1);
    }
    if (office365)
        ShowSignInState();
}

TESettings TFormEinstellungen::AccountFromUI() const
{
    TESettings account = *FSettings;
    account.MailServer = cbMailHost->currentText().trimmed();
    account.MailUser = eMailUser->text().trimmed();
    account.MailTenant = eMailTenant->text().trimmed().isEmpty() ? QString::fromLatin1(kDefaultMailTenant) : eMailTenant->text().trimmed();
    account.MailClientId = eMailClientId->text().trimmed();
    account.MailAuthority = FAuthority;
    return account;
}

void TFormEinstellungen::ShowSignInState()
{
    if (lAnmeldung->isHidden())
        return;
    lAnmeldung->setText(OnDescribeSignIn ? OnDescribeSignIn(AccountFromUI()) : QString());
    bAnmelden->setEnabled(!eMailClientId->text().trimmed().isEmpty());
}

void TFormEinstellungen::cbPruefungChange()
{
    // The built-in checks use no service: its address has nothing to say then.
    ePruefdienstUrl->setEnabled(cbPruefung->currentData().toString() != QLatin1String(kPruefungEingebaut));
}

void TFormEinstellungen::SelectFolderFor(QLineEdit* edit)
{
    edit->setText(SelectFolder(edit->text()));
}

QString TFormEinstellungen::SelectFolder(const QString& current)
{
    const QString chosen = TUserPrompt::SelectFolder(current);
    return chosen.isNull() ? current : chosen;
}

void TFormEinstellungen::FormShow()
{
    WriteSettingToUI();
    if (!eHotFolder->text().isEmpty() || cbNoAutoFolders->isChecked())
        return;
    const TPromptAnswer answer = TUserPrompt::Ask(
        {QStringLiteral("Ordner werden angelegt"),
         QStringLiteral("Das Programm legt jetzt Standard-Hotfolder an. Sie können diese jederzeit ändern. "
                        "Links auf die Folder finden Sie am Desktop. Bitte mit OK bestätigen."),
         TPromptIcon::None, TPromptButtons::YesNo});
    if (answer != TPromptAnswer::Yes)
        return;

    const QString base = GetLocalAppDataFolder();
    // Creating a folder that exists already fails, and then no shortcut is made; nothing
    // of this is reported: the field gets the default path either way.
    auto createDefault = [&base](const QString& name) {
        const QString path = base + name;
        try {
            if (QDir().mkdir(path))
                CreateDesktopLink(path);
        } catch (...) {
        }
        return path;
    };
    eHotFolder->setText(createDefault(QStringLiteral("E-Rechnung_Hotfolder")));
    if (eWeiterverarbeitung->text().isEmpty())
        eWeiterverarbeitung->setText(createDefault(QStringLiteral("E-Rechnung_Akzeptiert")));
    if (eFehlerordner->text().isEmpty())
        eFehlerordner->setText(createDefault(QStringLiteral("E-Rechnung_Abgelehnt")));
    else
        cbNoAutoFolders->setChecked(true);
}

QString GetDesktopFolder()
{
    return DesktopFolder();
}

bool CreateDesktopLink(const QString& target)
{
    QString desktop = GetDesktopFolder();
    if (desktop.isEmpty())
        return false;
    if (!desktop.endsWith(NativeSeparator()))
        desktop += NativeSeparator();
    const QString link = desktop + ExtractFileName(target) + QStringLiteral(".lnk");
    const QString workingFolder = target.left(target.lastIndexOf(NativeSeparator()) + 1);
    return CreateShellLink(link, target, workingFolder, QStringLiteral("Description ..."));
}
