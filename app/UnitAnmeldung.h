#pragma once

#include "services/OAuth.h"

#include <QDialog>
#include <QUrl>

#include <atomic>
#include <functional>

class QLabel;
class QPushButton;
class TESettings;
class TOAuthSession;

// The sign-in window of an "Office 365" mailbox: the sign-in in the user's browser, and the
// code to enter at the provider's address where no browser opens (or the user prefers it).
// Every network step runs with the window going on; "Abbrechen" ends it.
class TFormAnmeldung : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAnmeldung(QWidget* parent = nullptr);
    ~TFormAnmeldung() override;

    // Opens the address in the user's browser; false when none could be opened. Tests
    // answer it themselves.
    std::function<bool(const QUrl&)> OpenBrowser;

    // Signs in for the account and keeps the sign-in in the session. True when signed in;
    // false when the user cancelled here. Raises what the sign-in service answered.
    bool SignIn(TOAuthSession& session, const TESettings& account);

    QLabel* lText;
    QLabel* lCode;    // the code to enter (device sign-in)
    QLabel* lAddress; // where to enter it
    QPushButton* bCode;
    QPushButton* bAbbrechen;

protected:
    void reject() override;

private:
    TOAuthTokens InBrowser(const TOAuthOptions& options, const TESettings& account, bool& switchToCode);
    TOAuthTokens WithCode(const TOAuthOptions& options);

    std::atomic<bool> FCancel{false};
    bool FUserCancelled = false;
    bool FSwitchToCode = false;
};
