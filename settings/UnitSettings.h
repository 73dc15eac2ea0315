#pragma once

#include "settings/ESettings.h"

#include <QDialog>

#include <functional>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QWidget;

// The settings dialog: the four working folders, the mail account and who checks the
// invoices. It owns the one
// settings object of the program and offers the default folders on first use.
class TFormEinstellungen : public QDialog
{
    Q_OBJECT

public:
    explicit TFormEinstellungen(QWidget* parent = nullptr);
    ~TFormEinstellungen() override;

    TESettings* Settings() const { return FSettings.get(); }

    // The sign-in of an "Office 365" mailbox is the mail import's: the main window says how
    // to sign in and out with the account as the dialog shows it now (not yet taken over),
    // and how to describe the sign-in. Without them the buttons do nothing.
    std::function<void(const TESettings& account)> OnSignIn;
    std::function<void()> OnSignOut;
    std::function<QString(const TESettings& account)> OnDescribeSignIn;
    void SetSettings(std::unique_ptr<TESettings> settings) { FSettings = std::move(settings); }

    // Shows the dialog modally, centred over the main window; true when closed with OK.
    bool ShowModal();

    void ReadSettingsFromPersistent();
    void WriteSettingsToPersistent();
    void WriteSettingToUI();
    void ReadSettingsFromUI();

    // Controls, named as in the layout.
    QScrollArea* ScrollBox1;
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLineEdit* eHotFolder;
    QPushButton* bHotFolder;
    QLabel* Label2;
    QLineEdit* eWeiterverarbeitung;
    QPushButton* bWeiterverarbeitung;
    QLabel* Label3;
    QLineEdit* eFehlerordner;
    QPushButton* bFehlerordner;
    QLabel* Label4;
    QLineEdit* eDmsOrdner;
    QPushButton* bDmsOrdner;
    QCheckBox* cbNoAutoFolders;
    QGroupBox* GroupBox2;
    QGroupBox* RadioGroup1;
    QButtonGroup* RadioGroup1Items;
    QCheckBox* cbNoMail;
    QLabel* Label5;
    QComboBox* cbMailHost;
    QLabel* Label6;
    QComboBox* cbEmailPort;
    QLabel* Label7;
    QComboBox* cbMailTLS;
    QLabel* Label8;
    QLineEdit* eMailUser;
    QLabel* Label9;
    QLineEdit* eMailKennwort;
    // The sign-in of an "Office 365" mailbox, shown for that kind in place of the password.
    QLabel* Label12;
    QLineEdit* eMailTenant;
    QLabel* Label13;
    QLineEdit* eMailClientId;
    QPushButton* bAnmelden;
    QPushButton* bAbmelden;
    QLabel* lAnmeldung; // whether and where the sign-in is kept
    QGroupBox* GroupBox3;
    QLabel* Label10;
    QComboBox* cbPruefung; // item data: the settings value
    QLabel* Label11;
    QLineEdit* ePruefdienstUrl;
    QWidget* Panel2;
    QPushButton* bbOK;
    QPushButton* BitBtn2;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void bbOKClick();
    void cbNoMailClick();
    void cbPruefungChange();
    void RadioGroup1Change();
    void ShowSignInState();
    // The account as the controls show it, for signing in before OK.
    TESettings AccountFromUI() const;
    void SelectFolderFor(QLineEdit* edit);
    QString SelectFolder(const QString& current);
    void BuildLayout();

    std::unique_ptr<TESettings> FSettings;
    QString FAuthority; // no control of its own: kept from the INI file
};

// The file-system path of the user's desktop.
QString GetDesktopFolder();
// Puts a shortcut to the folder target on the desktop; false when none was written (a
// file of that name exists already, or the save failed).
bool CreateDesktopLink(const QString& target);
