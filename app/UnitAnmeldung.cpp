#include "app/UnitAnmeldung.h"

#include "mail/OAuthSession.h"
#include "platform/BackgroundCall.h"
#include "platform/UserPrompt.h"
#include "settings/ESettings.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFormAnmeldung::TFormAnmeldung(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Anmeldung bei Microsoft 365"));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    lText = new QLabel(this);
    lText->setWordWrap(true);
    lText->setMinimumWidth(420);
    lCode = new QLabel(this);
    lCode->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = lCode->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    big.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    lCode->setFont(big);
    lCode->setAlignment(Qt::AlignCenter);
    lCode->hide();
    lAddress = new QLabel(this);
    lAddress->setOpenExternalLinks(true);
    lAddress->setTextInteractionFlags(Qt::TextBrowserInteraction);
    lAddress->setAlignment(Qt::AlignCenter);
    lAddress->hide();
    layout->addWidget(lText);
    layout->addWidget(lCode);
    layout->addWidget(lAddress);
    auto* buttons = new QHBoxLayout;
    bCode = new QPushButton(QStringLiteral("Mit Code anmelden"), this);
    bCode->setToolTip(QStringLiteral("Statt im Browser dieses Computers mit einem Code auf einem beliebigen Gerät anmelden"));
    bAbbrechen = new QPushButton(QStringLiteral("Abbrechen"), this);
    buttons->addWidget(bCode);
    buttons->addStretch();
    buttons->addWidget(bAbbrechen);
    layout->addLayout(buttons);
    connect(bAbbrechen, &QPushButton::clicked, this, &TFormAnmeldung::reject);
    connect(bCode, &QPushButton::clicked, this, [this] {
        FSwitchToCode = true;
        FCancel = true;
    });
    OpenBrowser = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

TFormAnmeldung::~TFormAnmeldung() = default;

void TFormAnmeldung::reject()
{
    // The running step ends at its next look at the flag; the window closes with it.
    FUserCancelled = true;
    FCancel = true;
}

TOAuthTokens TFormAnmeldung::InBrowser(const TOAuthOptions& options, const TESettings& account, bool& switchToCode)
{
    TAuthorizationCodeFlow flow(options, account.MailUser);
    const QUrl address = flow.Start();
    if (!OpenBrowser || !OpenBrowser(address)) {
        switchToCode = true;
        return {};
    }
    lText->setText(QStringLiteral("Bitte melden Sie sich im Browser bei Microsoft 365 an und erlauben Sie den Zugriff "
                                  "auf das Postfach. Danach geht es hier von selbst weiter.\n\nÖffnet sich kein Browser, "
                                  "wählen Sie „Mit Code anmelden“."));
    try {
        return RunKeepingEventsFlowing([&flow] { return flow.Finish(); });
    } catch (const TOAuthError& error) {
        if (error.Kind() == TOAuthFailure::Cancelled && FSwitchToCode && !FUserCancelled) {
            switchToCode = true;
            return {};
        }
        throw;
    }
}

TOAuthTokens TFormAnmeldung::WithCode(const TOAuthOptions& options)
{
    lText->setText(QStringLiteral("Die Anmeldung wird vorbereitet ..."));
    bCode->setEnabled(false);
    const TDeviceCode code = RunKeepingEventsFlowing([&options] { return StartDeviceCode(options); });
    lText->setText(QStringLiteral("Öffnen Sie auf einem beliebigen Gerät die unten genannte Adresse, geben Sie diesen Code "
                                  "ein und melden Sie sich mit dem Konto des Postfachs an. Danach geht es hier von "
                                  "selbst weiter."));
    lCode->setText(code.UserCode);
    lAddress->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(code.VerificationUri.toHtmlEscaped()));
    lCode->show();
    lAddress->show();
    if (QClipboard* clipboard = QApplication::clipboard())
        clipboard->setText(code.UserCode);
    return RunKeepingEventsFlowing([&options, &code] { return WaitForDeviceCode(options, code); });
}

bool TFormAnmeldung::SignIn(TOAuthSession& session, const TESettings& account)
{
    if (account.MailClientId.trimmed().isEmpty())
        throw Exception(QStringLiteral("Für die Anmeldung bei Microsoft 365 fehlt die Client-ID der App-Registrierung."));
    FCancel = false;
    FUserCancelled = false;
    FSwitchToCode = false;
    TOAuthOptions options = session.OptionsFor(account);
    options.Cancel = &FCancel;
    show();
    struct THide
    {
        QDialog* Dialog;
        ~THide() { Dialog->hide(); }
    } hide{this};

    TOAuthTokens tokens;
    try {
        bool switchToCode = false;
        tokens = InBrowser(options, account, switchToCode);
        if (switchToCode) {
            FCancel = false;
            tokens = WithCode(options);
        }
    } catch (const TOAuthError& error) {
        if (error.Kind() == TOAuthFailure::Cancelled && FUserCancelled)
            return false; // the user's own "Abbrechen": nothing to say
        throw;
    }
    const QString note = session.Store(account, tokens);
    if (!note.isEmpty())
        TUserPrompt::Ask({QStringLiteral("Anmeldung bei Microsoft 365"), note, TPromptIcon::Warning, TPromptButtons::Ok});
    return true;
}
