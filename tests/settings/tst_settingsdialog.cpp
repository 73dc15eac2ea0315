#include "app/CentralHandler.h"
#include "platform/ProfileFile.h"
#include "platform/UserPrompt.h"
#include "services/ServiceOptions.h"
#include "settings/UnitSettings.h"
#include "tests/support/TestEnvironment.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kQuestionCaption = QStringLiteral("Ordner werden angelegt");

QStringList Messages()
{
    return PromptTexts(QString::fromUtf8(kApplicationTitle));
}

} // namespace

// The settings dialog with a real temporary home, data and desktop folder.
class TestSettingsDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<TSandboxHome> home;

    QString Data(const QString& name) const { return home->DataHome() + QLatin1Char('/') + name; }
    QString Link(const QString& name) const { return home->Desktop() + QLatin1Char('/') + name + QStringLiteral(".lnk"); }
    QString Ini() const { return Data(QStringLiteral("erechnungseingang.ini")); }

    // Opens the dialog, runs whileOpen inside its event loop, then presses OK or Cancel.
    bool Run(TFormEinstellungen& dialog, bool ok, const std::function<void()>& whileOpen = {})
    {
        QTimer::singleShot(0, &dialog, [&] {
            if (whileOpen)
                whileOpen();
            (ok ? dialog.bbOK : dialog.BitBtn2)->click();
        });
        return dialog.ShowModal();
    }

    void WriteIni(const QByteArray& content)
    {
        QDir().mkpath(home->DataHome());
        WriteFileBytes(Ini(), content);
    }

private Q_SLOTS:
    void initTestCase()
    {
        InstallCentralHandler();
    }

    void init()
    {
        home = std::make_unique<TSandboxHome>();
        TUserPrompt::Reset();
    }

    void layoutAsDesigned()
    {
        TFormEinstellungen dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Programm Einstellungen"));
        QCOMPARE(dialog.size(), QSize(597, 780));
        QCOMPARE(dialog.GroupBox1->palette().color(QPalette::Window), QColor(192, 192, 192));
        QCOMPARE(dialog.GroupBox2->palette().color(QPalette::Window), QColor(160, 160, 164));
        QCOMPARE(dialog.cbMailTLS->count(), 4);
        QCOMPARE(dialog.cbMailTLS->itemText(3), QStringLiteral("RequireTLS"));
        QVERIFY(!dialog.cbMailTLS->isEditable());
        QVERIFY(dialog.cbMailHost->isEditable() && dialog.cbEmailPort->isEditable());
        QCOMPARE(dialog.eMailKennwort->echoMode(), QLineEdit::Normal);
        QVERIFY(dialog.cbNoAutoFolders->toolTip().startsWith(QStringLiteral("Wenn Sie Ihre Gründe haben")));

        // Edits stretch, the "..." buttons and Cancel keep their distance to the right edge.
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const int buttonGap = dialog.GroupBox1->width() - (dialog.bHotFolder->x() + dialog.bHotFolder->width());
        const int editWidth = dialog.eHotFolder->width();
        dialog.resize(797, 780);
        QTRY_COMPARE(dialog.GroupBox1->width() - (dialog.bHotFolder->x() + dialog.bHotFolder->width()), buttonGap);
        QCOMPARE(dialog.eHotFolder->width(), editWidth + 200);
        QCOMPARE(dialog.BitBtn2->x() + dialog.BitBtn2->width(), 797 - (597 - 493 - 91));
        QCOMPARE(dialog.bbOK->x(), 16);
        dialog.hide();
    }

    void firstShowingCreatesTheDefaultFolders()
    {
        TFormEinstellungen dialog;
        TUserPrompt::QueueAnswer(TPromptAnswer::Yes);
        QVERIFY(Run(dialog, false, [&] {
            QCOMPARE(dialog.eHotFolder->text(), Data(QStringLiteral("E-Rechnung_Hotfolder")));
            QCOMPARE(dialog.eWeiterverarbeitung->text(), Data(QStringLiteral("E-Rechnung_Akzeptiert")));
            QCOMPARE(dialog.eFehlerordner->text(), Data(QStringLiteral("E-Rechnung_Abgelehnt")));
            QVERIFY(dialog.eDmsOrdner->text().isEmpty());
            QVERIFY(dialog.cbNoMail->isChecked());
            QVERIFY(!dialog.RadioGroup1->isEnabled());
            QCOMPARE(dialog.RadioGroup1Items->checkedId(), 0);
        }) == false);
        QCOMPARE(PromptTexts(kQuestionCaption).size(), 1);
        for (const char* name : {"E-Rechnung_Hotfolder", "E-Rechnung_Akzeptiert", "E-Rechnung_Abgelehnt"}) {
            QVERIFY(QFileInfo(Data(QString::fromLatin1(name))).isDir());
            QVERIFY2(QFile::exists(Link(QString::fromLatin1(name))), name);
        }
        const QByteArray link = ReadFileBytes(Link(QStringLiteral("E-Rechnung_Hotfolder")));
        QVERIFY(link.startsWith("[Desktop Entry]\nType=Link\n"));
        QVERIFY(link.contains("\nComment=Description ...\n"));
        QVERIFY(link.contains("\nURL=" + QUrl::fromLocalFile(Data(QStringLiteral("E-Rechnung_Hotfolder"))).toEncoded() + "\n"));
        QVERIFY(link.contains("\nPath=" + home->DataHome().toUtf8() + "/\n"));

        // Cancel stored nothing: the next showing asks again, finds the folders, makes no
        // new shortcut (not even for a deleted one) and fills the fields all the same.
        QVERIFY(!QFile::exists(Ini()));
        QVERIFY(QFile::remove(Link(QStringLiteral("E-Rechnung_Abgelehnt"))));
        TUserPrompt::QueueAnswer(TPromptAnswer::Yes);
        QVERIFY(Run(dialog, true, [&] { QCOMPARE(dialog.eHotFolder->text(), Data(QStringLiteral("E-Rechnung_Hotfolder"))); }));
        QCOMPARE(PromptTexts(kQuestionCaption).size(), 2);
        QVERIFY(!QFile::exists(Link(QStringLiteral("E-Rechnung_Abgelehnt"))));
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("HotfolderPfad"), {}),
                 Data(QStringLiteral("E-Rechnung_Hotfolder")));
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("MailDisabled"), {}), QStringLiteral("1"));
        QCOMPARE(dialog.Settings()->HotfolderPfad, Data(QStringLiteral("E-Rechnung_Hotfolder")));

        // With a hotfolder set, no question.
        QVERIFY(Run(dialog, false) == false);
        QCOMPARE(PromptTexts(kQuestionCaption).size(), 2);
    }

    void answeringNoStoresNothing()
    {
        TFormEinstellungen dialog;
        TUserPrompt::QueueAnswer(TPromptAnswer::No);
        QVERIFY(Run(dialog, true, [&] { QVERIFY(dialog.eHotFolder->text().isEmpty()); }));
        QVERIFY(!QFileInfo::exists(Data(QStringLiteral("E-Rechnung_Hotfolder"))));
        QVERIFY(dialog.Settings()->HotfolderPfad.isEmpty());
        TUserPrompt::QueueAnswer(TPromptAnswer::No);
        Run(dialog, false);
        QCOMPARE(PromptTexts(kQuestionCaption).size(), 2);
    }

    void problemFolderAlreadySet()
    {
        WriteIni("[Main]\r\nProblemPfad=/srv/problem\r\n");
        TFormEinstellungen dialog;
        TUserPrompt::QueueAnswer(TPromptAnswer::Yes);
        QVERIFY(Run(dialog, true, [&] {
            QCOMPARE(dialog.eFehlerordner->text(), QStringLiteral("/srv/problem"));
            QVERIFY(dialog.cbNoAutoFolders->isChecked());
        }));
        QVERIFY(QFileInfo(Data(QStringLiteral("E-Rechnung_Hotfolder"))).isDir());
        QVERIFY(QFileInfo(Data(QStringLiteral("E-Rechnung_Akzeptiert"))).isDir());
        QVERIFY(!QFileInfo::exists(Data(QStringLiteral("E-Rechnung_Abgelehnt"))));
        QVERIFY(dialog.Settings()->CreateFolderDisabled);
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("CreateFolderDisabled"), {}), QStringLiteral("1"));
    }

    void createFolderDisabledAsksNothing()
    {
        WriteIni("[Main]\r\nCreateFolderDisabled=1\r\n");
        TFormEinstellungen dialog;
        Run(dialog, false);
        QCOMPARE(PromptTexts(kQuestionCaption).size(), 0);
        QVERIFY(!QFileInfo::exists(Data(QStringLiteral("E-Rechnung_Hotfolder"))));
    }

    void invalidPortClosesWithOkButKeepsTheFile()
    {
        WriteIni("[Main]\r\nHotfolderPfad=/alt\r\nMailType=Office 365\r\nMailPort=143\r\nMailServer=alt.example.org\r\n");
        const QByteArray before = ReadFileBytes(Ini());
        TFormEinstellungen dialog;
        QVERIFY(Run(dialog, true, [&] {
            dialog.eHotFolder->setText(QStringLiteral("/neu"));
            dialog.RadioGroup1Items->button(0)->setChecked(true);
            dialog.cbMailHost->setEditText(QStringLiteral("neu.example.org"));
            dialog.cbEmailPort->setEditText(QStringLiteral("99x"));
            dialog.eMailUser->setText(QStringLiteral("neuer.benutzer"));
        }));
        QCOMPARE(Messages(), QStringList{QStringLiteral("'99x' ist kein gültiger Integerwert")});
        QCOMPARE(ReadFileBytes(Ini()), before);
        const TESettings& s = *dialog.Settings();
        QCOMPARE(s.HotfolderPfad, QStringLiteral("/neu"));
        QCOMPARE(s.MailType, QStringLiteral("IMAP"));
        QCOMPARE(s.MailServer, QStringLiteral("neu.example.org"));
        QCOMPARE(s.MailPort, 143);
        QVERIFY(s.MailUser.isEmpty()); // after the failing field: unchanged
    }

    void noMailTypeSelected()
    {
        WriteIni("[Main]\r\nHotfolderPfad=/h\r\nMailType=POP3\r\n");
        TFormEinstellungen dialog;
        QVERIFY(Run(dialog, true, [&] { QCOMPARE(dialog.RadioGroup1Items->checkedId(), -1); }));
        QCOMPARE(Messages(), QStringList{QStringLiteral("Listenindex außerhalb des gültigen Bereichs (-1)")});
        QCOMPARE(dialog.Settings()->MailType, QStringLiteral("POP3"));
    }

    void mailTypeInOtherCase()
    {
        WriteIni("[Main]\r\nHotfolderPfad=/h\r\nMailType=imap\r\nMailTLS=7\r\n");
        TFormEinstellungen dialog;
        QVERIFY(Run(dialog, true, [&] {
            QCOMPARE(dialog.RadioGroup1Items->checkedId(), 0);
            QCOMPARE(dialog.cbMailTLS->currentIndex(), -1); // out of range: nothing selected
        }));
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("MailType"), {}), QStringLiteral("IMAP"));
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("MailTLS"), {}), QStringLiteral("-1"));
    }

    // "Office 365": its own fields in place of the password, Exchange Online's host offered
    // in place of the default one, signing in with the account as shown (before OK), and
    // the fields stored with OK.
    void office365Fields()
    {
        WriteIni("[Main]\r\nHotfolderPfad=/h\r\nMailType=IMAP\r\nMailUser=rechnungen@firma.example\r\nMailDisabled=0\r\n");
        TFormEinstellungen dialog;
        QList<TESettings> signIns;
        int signOuts = 0;
        bool signedIn = false;
        dialog.OnSignIn = [&](const TESettings& account) {
            signIns << account;
            signedIn = true;
        };
        dialog.OnSignOut = [&] {
            ++signOuts;
            signedIn = false;
        };
        dialog.OnDescribeSignIn = [&](const TESettings& account) {
            return signedIn ? QStringLiteral("Angemeldet (%1)").arg(account.MailClientId) : QStringLiteral("Nicht angemeldet.");
        };
        QVERIFY(Run(dialog, true, [&] {
            QVERIFY(dialog.eMailKennwort->isVisible() && dialog.Label9->isVisible());
            QVERIFY(!dialog.eMailClientId->isVisible() && !dialog.bAnmelden->isVisible());
            dialog.RadioGroup1Items->button(1)->click();
            QVERIFY(!dialog.eMailKennwort->isVisible() && !dialog.Label9->isVisible());
            for (QWidget* w : std::initializer_list<QWidget*>{dialog.eMailTenant, dialog.eMailClientId, dialog.bAnmelden,
                                                               dialog.bAbmelden, dialog.lAnmeldung, dialog.eMailUser})
                QVERIFY(w->isVisible());
            QCOMPARE(dialog.cbMailHost->currentText(), QStringLiteral("outlook.office365.com"));
            QCOMPARE(dialog.cbEmailPort->currentText(), QStringLiteral("993"));
            QCOMPARE(dialog.cbMailTLS->currentIndex(), 1);
            QCOMPARE(dialog.eMailTenant->placeholderText(), QStringLiteral("organizations"));
            QVERIFY(!dialog.bAnmelden->isEnabled()); // no app registration named yet
            dialog.eMailClientId->setText(QStringLiteral("app-1"));
            QVERIFY(dialog.bAnmelden->isEnabled());
            dialog.eMailTenant->setText(QStringLiteral("firma.example"));
            dialog.bAnmelden->click();
            QCOMPARE(dialog.lAnmeldung->text(), QStringLiteral("Angemeldet (app-1)"));
            dialog.bAbmelden->click();
            QCOMPARE(dialog.lAnmeldung->text(), QStringLiteral("Nicht angemeldet."));
            dialog.bAnmelden->click();
            // Not taken over before OK.
            QCOMPARE(dialog.Settings()->MailClientId, QString());
        }));
        QCOMPARE(signIns.size(), 2);
        QCOMPARE(signIns[0].MailClientId, QStringLiteral("app-1"));
        QCOMPARE(signIns[0].MailTenant, QStringLiteral("firma.example"));
        QCOMPARE(signIns[0].MailUser, QStringLiteral("rechnungen@firma.example"));
        QCOMPARE(signIns[0].MailServer, QStringLiteral("outlook.office365.com"));
        QCOMPARE(signIns[0].MailAuthority, QStringLiteral("https://login.microsoftonline.com"));
        QCOMPARE(signOuts, 1);
        QVERIFY(Messages().isEmpty());
        const auto key = [this](const char* name) {
            return ReadProfileString(Ini(), QStringLiteral("Main"), QString::fromLatin1(name), QStringLiteral("(fehlt)"));
        };
        QCOMPARE(key("MailType"), QStringLiteral("Office 365"));
        QCOMPARE(key("MailServer"), QStringLiteral("outlook.office365.com"));
        QCOMPARE(key("MailTenant"), QStringLiteral("firma.example"));
        QCOMPARE(key("MailClientId"), QStringLiteral("app-1"));
        QCOMPARE(key("MailAuthority"), QStringLiteral("(fehlt)"));

        // Shown again as stored; a host of one's own is kept when switching back and forth.
        Run(dialog, false, [&] {
            QCOMPARE(dialog.RadioGroup1Items->checkedId(), 1);
            QVERIFY(!dialog.eMailKennwort->isVisible());
            QCOMPARE(dialog.eMailClientId->text(), QStringLiteral("app-1"));
            dialog.RadioGroup1Items->button(0)->click();
            QVERIFY(dialog.eMailKennwort->isVisible() && !dialog.bAnmelden->isVisible());
            dialog.cbMailHost->setEditText(QStringLiteral("imap.firma.example"));
            dialog.RadioGroup1Items->button(1)->click();
            QCOMPARE(dialog.cbMailHost->currentText(), QStringLiteral("imap.firma.example"));
        });
    }

    void mailSwitchDisablesTheType()
    {
        WriteIni("[Main]\r\nHotfolderPfad=/h\r\nMailDisabled=0\r\n");
        TFormEinstellungen dialog;
        Run(dialog, false, [&] {
            QVERIFY(dialog.RadioGroup1->isEnabled());
            dialog.cbNoMail->click();
            QVERIFY(!dialog.RadioGroup1->isEnabled());
        });
        // A failed mail connection switches the import off in memory: the next showing shows it.
        dialog.Settings()->MailDisabled = true;
        Run(dialog, false, [&] { QVERIFY(dialog.cbNoMail->isChecked() && !dialog.RadioGroup1->isEnabled()); });
    }

    // The check choice: shown as stored, the address only where a service is asked,
    // both stored with OK; an address that is no https host is refused with its reason.
    void checkChoice_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("storedChoice");
        QTest::addColumn<QString>("storedAddress"); // null: the key is absent
        QTest::addColumn<QString>("message");
        QTest::newRow("new installation") << QByteArray() << 2 << 2 << "" << "PruefdienstOderEingebaut" << QString() << "";
        QTest::newRow("file from before the choice") << QByteArray("[Main]\r\nHotfolderPfad=/h\r\n") << 0 << 1 << ""
                                                     << "Eingebaut" << QString() << "";
        QTest::newRow("address set") << QByteArray("[Main]\r\nHotfolderPfad=/h\r\nPruefung=Pruefdienst\r\n") << 0 << 0
                                     << " https://pruefung.example.org:8443/ " << "Pruefdienst"
                                     << "https://pruefung.example.org:8443" << "";
        QTest::newRow("address refused") << QByteArray("[Main]\r\nHotfolderPfad=/h\r\nPruefung=Eingebaut\r\n") << 1 << 0
                                         << "http://pruefung.example.org" << "Eingebaut" << QString()
                                         << "„http://pruefung.example.org“ ist keine Adresse eines Prüfdienstes: erwartet "
                                            "wird https://Rechner oder https://Rechner:Port, ohne Pfad.";
        QTest::newRow("unknown value kept") << QByteArray("[Main]\r\nHotfolderPfad=/h\r\nPruefung=Zukunft\r\n") << -1 << -1
                                            << "" << "Zukunft" << QString() << "";
    }

    void checkChoice()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, shown);
        QFETCH(int, chosen);
        QFETCH(QString, address);
        QFETCH(QString, storedChoice);
        QFETCH(QString, storedAddress);
        QFETCH(QString, message);
        if (!ini.isEmpty())
            WriteIni(ini);
        else
            TUserPrompt::QueueAnswer(TPromptAnswer::No); // no default folders
        TFormEinstellungen dialog;
        QVERIFY(Run(dialog, true, [&] {
            QCOMPARE(dialog.cbPruefung->currentIndex(), shown);
            QCOMPARE(dialog.ePruefdienstUrl->isEnabled(), shown != 1);
            QCOMPARE(dialog.ePruefdienstUrl->placeholderText(), TServiceOptions{}.BaseUrl);
            dialog.cbPruefung->setCurrentIndex(chosen);
            QCOMPARE(dialog.ePruefdienstUrl->isEnabled(), chosen != 1);
            dialog.ePruefdienstUrl->setText(address);
        }));
        QCOMPARE(Messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        // A refused address writes nothing, as any value refused: the file keeps its choice.
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("Pruefung"), {}), storedChoice);
        QCOMPARE(ReadProfileString(Ini(), QStringLiteral("Main"), QStringLiteral("PruefdienstUrl"), QStringLiteral("-")),
                 storedAddress.isNull() ? QStringLiteral("-") : storedAddress);
    }

    void folderPickers()
    {
        WriteIni("[Main]\r\nHotfolderPfad=/h\r\nDMSPfad=/alt/dms\r\n");
        TFormEinstellungen dialog;
        Run(dialog, false, [&] {
            TUserPrompt::QueuePick(QStringLiteral("/neu/dms"));
            dialog.bDmsOrdner->click();
            QCOMPARE(dialog.eDmsOrdner->text(), QStringLiteral("/neu/dms"));
            TUserPrompt::QueuePick(QString()); // cancelled
            dialog.bDmsOrdner->click();
            QCOMPARE(dialog.eDmsOrdner->text(), QStringLiteral("/neu/dms"));
        });
        QCOMPARE(dialog.Settings()->DMSPfad, QStringLiteral("/alt/dms")); // Cancel takes nothing over
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
