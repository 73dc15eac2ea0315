#include "invoice/ERechnung.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Trash.h"
#include "settings/ESettings.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/InvoiceFolders.h"
#include "tests/support/InvoiceServices.h"
#include "tests/support/TlsTestServer.h"
#include "workflow/EWorkflow.h"
#include "workflow/EHistory.h"

#include <QBuffer>
#include <QtTest>

#include <sqlite3.h>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

Q_DECLARE_METATYPE(TWorkflowState)

namespace {

using TStates = QList<TWorkflowState>;

QStringList Names(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// A device that delivers some bytes and then fails, as a disk or a share may in the
// middle of a copy.
class TFailingDevice : public QIODevice
{
public:
    TFailingDevice() { open(QIODevice::ReadOnly); }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        if (FDelivered >= 3 * 1024 * 1024) {
            setErrorString(QStringLiteral("Eingabe-/Ausgabefehler"));
            return -1;
        }
        const qint64 n = qMin<qint64>(max, 64 * 1024);
        memset(data, 'n', size_t(n));
        FDelivered += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 FDelivered = 0;
};

} // namespace

// The engine against real folders, a real history file and a TLS test service.
class TestWorkflow : public QObject
{
    Q_OBJECT

    TTlsTestServer server;
    std::unique_ptr<TSandboxHome> home;
    std::unique_ptr<TInvoiceFolders> folders;
    std::unique_ptr<QObject> owner;
    TEWorkflow* engine = nullptr;
    TESettings settings;
    TStates states;
    int hotfolderUpdates = 0;

    void MakeEngine()
    {
        owner = std::make_unique<QObject>();
        engine = new TEWorkflow(owner.get());
        engine->Rechnung()->SetServiceOptions(ServiceOptionsOf(server));
        engine->SetOnHotfolderUpdated([this](TEWorkflow*) { ++hotfolderUpdates; });
        // As the main window does: validate and render inside the wsLoaded notification.
        engine->SetOnStateChanged([this](TEWorkflow* sender) {
            states << sender->State();
            if (sender->State() == wsLoaded) {
                sender->Rechnung()->Validate();
                sender->Rechnung()->Render();
            }
        });
    }

    // The rows of the history; ends the engine first, which holds the file exclusively.
    QStringList HistoryRows()
    {
        owner.reset();
        engine = nullptr;
        sqlite3* db = nullptr;
        sqlite3_open(TEHistory::DefaultPath().toUtf8().constData(), &db);
        sqlite3_stmt* s = nullptr;
        QStringList rows;
        if (sqlite3_prepare_v2(db, "SELECT FileName, Verarbeitung FROM rechnungshistorie ORDER BY rowid", -1, &s, nullptr) == SQLITE_OK) {
            while (sqlite3_step(s) == SQLITE_ROW)
                rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0))) + QLatin1Char('|')
                        + QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
        }
        sqlite3_finalize(s);
        sqlite3_close(db);
        return rows;
    }

    QString TrashFile(const QString& name) const { return home->DataHome() + QStringLiteral("/Trash/files/") + name; }

private Q_SLOTS:
    void initTestCase()
    {
        ServeInvoiceServices(server);
    }

    void init()
    {
        home = std::make_unique<TSandboxHome>();
        folders = std::make_unique<TInvoiceFolders>();
        settings = TESettings();
        settings.HotfolderPfad = folders->Dir(QStringLiteral("hot"));
        settings.DMSPfad = folders->Dir(QStringLiteral("dms"));
        settings.WeiterverarbeitungPfad = folders->Dir(QStringLiteral("weiter")) + QLatin1Char('/');
        settings.ProblemPfad = folders->Dir(QStringLiteral("problem"));
        states.clear();
        hotfolderUpdates = 0;
        MakeEngine();
    }

    void cleanup()
    {
        owner.reset();
        engine = nullptr;
    }

    void ticksBeforeTheSettingsChangeNothing()
    {
        folders->PutInvoice(QStringLiteral("a.xml"));
        engine->HotfolderTimer();
        QVERIFY(engine->Files().isEmpty());
        QCOMPARE(hotfolderUpdates, 0);
    }

    void filesAreListedInDiscoveryOrder()
    {
        engine->SetSettings(&settings);
        folders->PutInvoice(QStringLiteral("b.xml"));
        folders->PutInvoice(QStringLiteral("a.xml"));
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList({folders->Hot(QStringLiteral("a.xml")), folders->Hot(QStringLiteral("b.xml"))}));
        QCOMPARE(hotfolderUpdates, 1);

        engine->HotfolderTimer();
        QCOMPARE(hotfolderUpdates, 1); // nothing changed, nothing raised

        folders->PutInvoice(QStringLiteral("0-neu.xml"));
        QFile::remove(folders->Hot(QStringLiteral("a.xml")));
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList({folders->Hot(QStringLiteral("b.xml")), folders->Hot(QStringLiteral("0-neu.xml"))}));
        QCOMPARE(hotfolderUpdates, 2); // one notification for both changes
    }

    // A file that left the list and comes back under the same name is listed again, also
    // when the folder then lists exactly what it listed before.
    void aNameThatComesBackIsListedAgain()
    {
        engine->SetSettings(&settings);
        const QString a = folders->PutInvoice(QStringLiteral("a.xml"));
        const QString b = folders->PutInvoice(QStringLiteral("b.xml"));
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList({a, b}));

        // Filed: the file leaves the folder and the list; a new one of that name arrives
        // before the next poll.
        engine->Start(a);
        engine->Accept();
        QCOMPARE(engine->Files(), QStringList{b});
        folders->PutInvoice(QStringLiteral("a.xml"));
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList({b, a}));

        // Gone between two polls, back after the next.
        QFile::remove(b);
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList{a});
        folders->PutInvoice(QStringLiteral("b.xml"));
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList({a, b}));
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList({a, b}));
    }

    void whatCountsAsAFile()
    {
        engine->SetSettings(&settings);
        folders->Put(QStringLiteral(".versteckt.xml"), "x");
        folders->Put(QStringLiteral("rechnung.TXT"), "x");
        folders->Put(QStringLiteral("ohne-endung"), "x");
        folders->Put(QStringLiteral("Rechnung 12:30.xml"), "x");
        folders->Put(QStringLiteral("A.xml"), "x");
        folders->Put(QStringLiteral("a.xml"), "x"); // a file of its own where names are case-sensitive
        QDir(folders->Dir(QStringLiteral("hot"))).mkdir(QStringLiteral("unterordner"));
        WriteFileBytes(folders->Hot(QStringLiteral("unterordner/tief.xml")), "x");
        QFile::link(folders->Hot(QStringLiteral("rechnung.TXT")), folders->Hot(QStringLiteral("verweis.xml")));
        engine->HotfolderTimer();
        QStringList listed = engine->Files();
        listed.sort();
        QStringList expected;
        for (const char* n : {".versteckt.xml", "A.xml", "Rechnung 12:30.xml", "a.xml", "ohne-endung", "rechnung.TXT", "verweis.xml"})
            expected << folders->Hot(QString::fromLatin1(n));
        expected.sort();
        QCOMPARE(listed, expected);
    }

    void hotfolderWithoutFilesOnlyShrinks_data()
    {
        QTest::addColumn<QString>("hotfolder");
        QTest::newRow("empty setting") << QString();
        QTest::newRow("missing folder") << QStringLiteral("/gibt/es/nicht");
        QTest::newRow("other folder") << QStringLiteral("dms");
    }

    void hotfolderWithoutFilesOnlyShrinks()
    {
        QFETCH(QString, hotfolder);
        engine->SetSettings(&settings);
        const QString a = folders->PutInvoice(QStringLiteral("a.xml"));
        const QString b = folders->PutInvoice(QStringLiteral("b.xml"));
        engine->HotfolderTimer();
        settings.HotfolderPfad = hotfolder == QLatin1String("dms") ? folders->Dir(hotfolder) : hotfolder;
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList({a, b})); // old entries stay while they exist
        QCOMPARE(hotfolderUpdates, 1);
        if (hotfolder == QLatin1String("dms"))
            WriteFileBytes(folders->Dir(QStringLiteral("dms/neu.xml")), "x");
        QFile::remove(a);
        engine->HotfolderTimer();
        QStringList expected{b};
        if (hotfolder == QLatin1String("dms"))
            expected << folders->Dir(QStringLiteral("dms")) + QStringLiteral("/neu.xml");
        QCOMPARE(engine->Files(), expected);
        QCOMPARE(hotfolderUpdates, 2);
    }

    void theTimerPollsEverySecond()
    {
        engine->SetSettings(&settings);
        QCOMPARE(engine->Timer()->interval(), 1000);
        QVERIFY(engine->Timer()->isActive());
        QCOMPARE(engine->Timer()->parent(), owner.get());
        const QString a = folders->PutInvoice(QStringLiteral("a.xml"));
        QTRY_COMPARE_WITH_TIMEOUT(engine->Files(), QStringList{a}, 3000);
    }

    void startRunsThroughTheStates_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<TStates>("expected");
        QTest::newRow("valid xml") << QStringLiteral("valid") << TStates{wsLoaded, wsShouldAccept};
        QTest::newRow("invalid xml") << QStringLiteral("invalid") << TStates{wsLoaded, wsShouldDeny};
        QTest::newRow("hybrid pdf") << QStringLiteral("hybrid") << TStates{wsLoaded, wsShouldAccept};
        QTest::newRow("pdf without xml") << QStringLiteral("plain") << TStates{wsLoaded, wsWaveThrough};
    }

    void startRunsThroughTheStates()
    {
        QFETCH(QString, kind);
        QFETCH(TStates, expected);
        QString file;
        if (kind == QLatin1String("valid"))
            file = folders->PutInvoice(QStringLiteral("r.xml"));
        else if (kind == QLatin1String("invalid"))
            file = folders->PutInvoice(QStringLiteral("r.xml"), false);
        else if (kind == QLatin1String("hybrid"))
            file = folders->PutPdf(QStringLiteral("r.pdf"), ReadTestData(QStringLiteral("invoice-utf8.xml")));
        else {
            file = folders->PutPdf(QStringLiteral("r.pdf"));
        }
        engine->Start(file); // from wsNone: no wsNone notification
        QCOMPARE(states, expected);
        QVERIFY(!engine->Rechnung()->IsDuplicate());

        // A second start clears first, and a decided invoice comes back as a duplicate.
        engine->SetSettings(&settings);
        engine->Start(file);
        QCOMPARE(states.mid(expected.size()), TStates{wsNone} + expected);
        const QByteArray bytes = ReadFileBytes(file);
        engine->Deny();
        QCOMPARE(engine->State(), wsNone);
        WriteFileBytes(file, bytes);
        states.clear();
        engine->Start(file);
        QCOMPARE(states, expected + TStates{wsDuplicate});
        QVERIFY(engine->Rechnung()->IsDuplicate());
    }

    void aFailingServiceLeavesTheStateAtLoaded()
    {
        TServiceOptions o = engine->Rechnung()->ServiceOptions();
        o.BaseUrl = QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort());
        engine->Rechnung()->SetServiceOptions(o);
        const QString error = ErrorOf([&] { engine->Start(folders->PutInvoice(QStringLiteral("r.xml"))); });
        QVERIFY2(error.startsWith(QStringLiteral("Fehler beim Senden der Daten: (7) ")), qPrintable(error));
        QCOMPARE(engine->State(), wsLoaded);
        QCOMPARE(states, TStates{wsLoaded});
    }

    // Who checks follows the settings at each start; so does the service address, and
    // clearing it brings back the program's own.
    void checkChoiceFromTheSettings()
    {
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("r.xml"));
        const auto validations = [this] {
            int n = 0;
            for (const auto& r : server.Requests())
                n += r.Path == "/validate" || r.Path == "/renderhtml";
            return n;
        };

        settings.Pruefung = QString::fromLatin1(kPruefungEingebaut);
        int before = validations();
        engine->Start(file);
        QCOMPARE(engine->Rechnung()->CheckedBy(), TCheckedBy::BuiltIn);
        QCOMPARE(validations(), before); // no network at all
        QCOMPARE(states.last(), wsShouldDeny); // the sample is no XRechnung

        settings.Pruefung = QString::fromLatin1(kPruefungDienstOderEingebaut);
        settings.PruefdienstUrl = QStringLiteral("https://127.0.0.1:%1").arg(ClosedLoopbackPort());
        engine->Start(file);
        QCOMPARE(engine->Rechnung()->ServiceOptions().BaseUrl, settings.PruefdienstUrl);
        QCOMPARE(engine->Rechnung()->CheckedBy(), TCheckedBy::BuiltIn);
        QVERIFY(engine->Rechnung()->CheckNote().startsWith(QStringLiteral("Der Prüfdienst war nicht erreichbar")));
        QCOMPARE(states.last(), wsShouldDeny); // a verdict, not a failure left at wsLoaded

        settings.Pruefung = QString::fromLatin1(kPruefungDienst);
        settings.PruefdienstUrl = server.BaseUrl();
        before = validations();
        engine->Start(file);
        QCOMPARE(engine->Rechnung()->CheckedBy(), TCheckedBy::Service);
        QCOMPARE(validations(), before + 2);
        QCOMPARE(states.last(), wsShouldAccept);

        settings.Pruefung = QString::fromLatin1(kPruefungEingebaut);
        settings.PruefdienstUrl.clear();
        engine->Start(file);
        QCOMPARE(engine->Rechnung()->ServiceOptions().BaseUrl, TServiceOptions{}.BaseUrl);
    }

    void acceptCopiesTrashesAndRecords()
    {
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("Rechnung 4711.xml"));
        const QByteArray bytes = ReadFileBytes(file);
        engine->HotfolderTimer();
        engine->Start(file);
        const QString archiveName = engine->Rechnung()->FileName();
        QVERIFY(archiveName.endsWith(QStringLiteral("_Rechnung 4711.xml")));
        hotfolderUpdates = 0;

        engine->Accept();
        QCOMPARE(ReadFileBytes(folders->Dir(QStringLiteral("dms/")) + archiveName), bytes);
        QCOMPARE(ReadFileBytes(folders->Dir(QStringLiteral("weiter/")) + archiveName), bytes);
        QVERIFY(Names(folders->Dir(QStringLiteral("problem"))).isEmpty());
        QVERIFY(!QFile::exists(file));
        QCOMPARE(ReadFileBytes(TrashFile(QStringLiteral("Rechnung 4711.xml"))), bytes);
        QVERIFY(engine->Files().isEmpty());
        QCOMPARE(hotfolderUpdates, 1);
        QCOMPARE(engine->State(), wsNone);
        QVERIFY(engine->Rechnung()->OriginalFilePath().isEmpty());
        QCOMPARE(HistoryRows(), QStringList{archiveName + QStringLiteral("|Akzeptiert")});
    }

    void acceptIntoOneFolderTwice()
    {
        settings.WeiterverarbeitungPfad = settings.DMSPfad;
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("r.xml"));
        engine->Start(file); // not listed: the list is not touched
        const QString archiveName = engine->Rechnung()->FileName();
        WriteFileBytes(folders->Dir(QStringLiteral("dms/")) + archiveName, "alte Fassung");
        engine->Accept();
        QCOMPARE(Names(folders->Dir(QStringLiteral("dms"))), QStringList{archiveName});
        QCOMPARE(ReadFileBytes(folders->Dir(QStringLiteral("dms/")) + archiveName), ReadTestData(QStringLiteral("invoice-utf8.xml")).replace("RE-2026-0815", "RE-r.xml"));
        QCOMPARE(hotfolderUpdates, 0);
    }

    void denyCopiesIntoTheProblemFolder()
    {
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("falsch.xml"), false);
        engine->HotfolderTimer();
        engine->Start(file);
        QCOMPARE(engine->State(), wsShouldDeny);
        const QString archiveName = engine->Rechnung()->FileName();
        engine->Deny();
        QCOMPARE(Names(folders->Dir(QStringLiteral("problem"))), QStringList{archiveName});
        QVERIFY(Names(folders->Dir(QStringLiteral("dms"))).isEmpty() && Names(folders->Dir(QStringLiteral("weiter"))).isEmpty());
        QVERIFY(QFile::exists(TrashFile(QStringLiteral("falsch.xml"))));
        QVERIFY(engine->Files().isEmpty());
        QCOMPARE(HistoryRows(), QStringList{archiveName + QStringLiteral("|Abgelehnt")});
    }

    void missingFoldersChangeNothing_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("withSettings");
        QTest::addColumn<QString>("message");
        const QString noAccept = QStringLiteral("Es wurde keine Art der Weiterverarbeitung definiert. Datei wird nicht verarbeitet.");
        const QString noDeny = QStringLiteral("Es wurde kein Ordner für fehlerhafte Dateien definiert. Datei wird nicht verarbeitet.");
        QTest::newRow("accept, folders empty") << true << true << noAccept;
        QTest::newRow("accept, no settings") << true << false << noAccept;
        QTest::newRow("deny, folder empty") << false << true << noDeny;
        QTest::newRow("deny, no settings") << false << false << noDeny;
    }

    void missingFoldersChangeNothing()
    {
        QFETCH(bool, accept);
        QFETCH(bool, withSettings);
        QFETCH(QString, message);
        const QString file = folders->PutInvoice(QStringLiteral("r.xml"));
        engine->SetSettings(&settings);
        engine->HotfolderTimer();
        engine->Start(file);
        settings.DMSPfad.clear();
        settings.WeiterverarbeitungPfad.clear();
        settings.ProblemPfad.clear();
        if (!withSettings)
            engine->SetSettings(nullptr);
        QCOMPARE(ErrorOf([&] { accept ? engine->Accept() : engine->Deny(); }), message);
        QVERIFY(QFile::exists(file));
        QCOMPARE(engine->Files(), QStringList{file});
        QCOMPARE(engine->State(), wsShouldAccept);
        QCOMPARE(HistoryRows(), QStringList());
    }

    void copyChecks_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QString>("message");
        QTest::newRow("source vanished") << QStringLiteral("vanished") << QStringLiteral("Die angegebene Datei wurde nicht gefunden\r\n[%1]");
        QTest::newRow("target folder missing") << QStringLiteral("no folder") << QStringLiteral("Der angegebene Pfad wurde nicht gefunden\r\n[%1]");
        QTest::newRow("invalid character") << QStringLiteral("nul") << QStringLiteral("Ungültige Zeichen im Pfad\r\n[%1]");
        QTest::newRow("nothing loaded") << QStringLiteral("nothing") << QStringLiteral("Pfad ist leer");
    }

    void copyChecks()
    {
        QFETCH(QString, situation);
        QFETCH(QString, message);
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("r.xml"));
        engine->HotfolderTimer();
        engine->Start(file);
        const QString archiveName = engine->Rechnung()->FileName();
        QString path;
        if (situation == QLatin1String("vanished")) {
            QFile::remove(file);
            path = file;
        } else if (situation == QLatin1String("no folder")) {
            settings.DMSPfad = folders->Dir(QStringLiteral("fehlt"));
            path = settings.DMSPfad + QLatin1Char('/') + archiveName;
        } else if (situation == QLatin1String("nul")) {
            settings.DMSPfad = folders->Dir(QStringLiteral("d")) + QChar(0) + QStringLiteral("ms");
            path = settings.DMSPfad + QLatin1Char('/') + archiveName;
        } else {
            engine->Clear();
        }
        QCOMPARE(ErrorOf([&] { engine->Accept(); }), message.contains(QLatin1String("%1")) ? message.arg(path) : message);
        QVERIFY(Names(folders->Dir(QStringLiteral("dms"))).isEmpty());
    }

    void failingCopyKeepsEarlierCopies()
    {
        settings.WeiterverarbeitungPfad = folders->Dir(QStringLiteral("fehlt"));
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("r.xml"));
        engine->HotfolderTimer();
        engine->Start(file);
        const QString archiveName = engine->Rechnung()->FileName();
        QVERIFY(ErrorOf([&] { engine->Accept(); }).startsWith(QStringLiteral("Der angegebene Pfad wurde nicht gefunden\r\n")));
        QCOMPARE(Names(folders->Dir(QStringLiteral("dms"))), QStringList{archiveName}); // the first copy stays
        QVERIFY(QFile::exists(file));
        QCOMPARE(engine->Files(), QStringList{file});
        QCOMPARE(engine->State(), wsShouldAccept);
        QCOMPARE(HistoryRows(), QStringList());
    }

    void failingRecycleStep()
    {
        // The trash cannot be set up where a file stands in its place.
        QDir().mkpath(home->DataHome());
        WriteFileBytes(home->DataHome() + QStringLiteral("/Trash"), "kein Ordner");
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("r.xml"));
        engine->HotfolderTimer();
        engine->Start(file);
        const QString archiveName = engine->Rechnung()->FileName();
        const QString error = ErrorOf([&] { engine->Accept(); });
        QVERIFY2(error.startsWith(QStringLiteral("Fehler bei der Dateiablage: ")), qPrintable(error));
        QCOMPARE(Names(folders->Dir(QStringLiteral("dms"))), QStringList{archiveName});
        QCOMPARE(Names(folders->Dir(QStringLiteral("weiter"))), QStringList{archiveName});
        QVERIFY(QFile::exists(file));
        QCOMPARE(engine->Files(), QStringList{file});
        QCOMPARE(engine->State(), wsShouldAccept);
        QCOMPARE(HistoryRows(), QStringList());
        QVERIFY(!QFile::exists(QStringLiteral("files")) && !QFile::exists(QStringLiteral("info")));
    }

    void failingHistoryRecord()
    {
        // A history file whose table has other columns: reading and writing it fail.
        owner.reset();
        QVERIFY(QFile::remove(TEHistory::DefaultPath()));
        {
            sqlite3* db = nullptr;
            sqlite3_open(TEHistory::DefaultPath().toUtf8().constData(), &db);
            sqlite3_exec(db, "CREATE TABLE rechnungshistorie (Nummer INTEGER)", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        MakeEngine();
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("r.xml"));
        engine->HotfolderTimer();
        QCOMPARE(ErrorOf([&] { engine->Start(file); }), QStringLiteral("no such column: Hash"));
        QCOMPARE(engine->State(), wsShouldAccept); // the verdict, without the duplicate test

        QCOMPARE(ErrorOf([&] { engine->Accept(); }), QStringLiteral("table rechnungshistorie has no column named FileName"));
        const QString archiveName = engine->Rechnung()->FileName();
        QCOMPARE(Names(folders->Dir(QStringLiteral("dms"))), QStringList{archiveName});
        QVERIFY(!QFile::exists(file));
        QVERIFY(QFile::exists(TrashFile(QStringLiteral("r.xml"))));
        QVERIFY(engine->Files().isEmpty());
        QCOMPARE(engine->Rechnung()->OriginalFilePath(), file); // still loaded
        QCOMPARE(engine->State(), wsShouldAccept);

        QCOMPARE(ErrorOf([&] { engine->Accept(); }), QStringLiteral("Die angegebene Datei wurde nicht gefunden\r\n[%1]").arg(file));
    }

    void aFailedLoadIsNeverFiled()
    {
        engine->SetSettings(&settings);
        engine->Start(folders->PutInvoice(QStringLiteral("vorher.xml")));
        const QString missing = folders->Hot(QStringLiteral("fehlt.xml"));
        QVERIFY(ErrorOf([&] { engine->Start(missing); }).startsWith(QStringLiteral("Datei ")));
        QCOMPARE(engine->State(), wsNone);
        const QString message = QStringLiteral("Die Datei %1 konnte nicht geladen werden und wird nicht abgelegt.").arg(missing);
        QCOMPARE(ErrorOf([&] { engine->Accept(); }), message);
        QCOMPARE(ErrorOf([&] { engine->Deny(); }), message);
        QVERIFY(Names(folders->Dir(QStringLiteral("dms"))).isEmpty() && Names(folders->Dir(QStringLiteral("problem"))).isEmpty());
        QVERIFY(QFile::exists(folders->Hot(QStringLiteral("vorher.xml"))));
    }

    // Names that are not UTF-8 go the whole way: listed, opened, filed under their own
    // bytes, trashed and recorded as the user reads them.
    void namesThatAreNotUtf8()
    {
        engine->SetSettings(&settings);
        const QString xml = WriteFileNamedBytes(settings.HotfolderPfad, "lat1-\xe4\xf6\xfc.xml", SampleInvoice(QStringLiteral("L1")));
        const QString pdf = WriteFileNamedBytes(settings.HotfolderPfad, "bad\xff.pdf", ReadFileBytes(folders->PutPdf(QStringLiteral("tmp.pdf"), SampleInvoice(QStringLiteral("P1")))));
        QFile::remove(folders->Hot(QStringLiteral("tmp.pdf")));
        engine->HotfolderTimer();
        QStringList listed = engine->Files();
        listed.sort();
        QStringList expected{pdf, xml};
        expected.sort();
        QCOMPARE(listed, expected);

        engine->Start(xml);
        QCOMPARE(engine->State(), wsShouldAccept);
        const QByteArray xmlArchive = EncodeFileName(engine->Rechnung()->FileName());
        QVERIFY(xmlArchive.endsWith("_lat1-\xe4\xf6\xfc.xml"));
        engine->Accept();
        engine->Start(pdf);
        QCOMPARE(engine->State(), wsShouldAccept);
        const QByteArray pdfArchive = EncodeFileName(engine->Rechnung()->FileName());
        engine->Deny();

        auto exists = [](const QString& folder, const QByteArray& name) {
            return QFile::exists(folder) && ::access((EncodeFileName(folder) + '/' + name).constData(), F_OK) == 0;
        };
        QVERIFY(exists(settings.DMSPfad, xmlArchive));
        QVERIFY(exists(settings.WeiterverarbeitungPfad, xmlArchive));
        QVERIFY(exists(settings.ProblemPfad, pdfArchive));
        QVERIFY(!exists(settings.HotfolderPfad, "lat1-\xe4\xf6\xfc.xml") && !exists(settings.HotfolderPfad, "bad\xff.pdf"));
        QVERIFY(exists(home->DataHome() + QStringLiteral("/Trash/files"), "lat1-\xe4\xf6\xfc.xml"));
        QVERIFY(exists(home->DataHome() + QStringLiteral("/Trash/files"), "bad\xff.pdf"));
        QVERIFY(engine->Files().isEmpty());
        const QStringList rows = HistoryRows();
        QCOMPARE(rows.size(), 2);
        QVERIFY2(rows[0].endsWith(QStringLiteral("_lat1-äöü.xml|Akzeptiert")), qPrintable(rows[0]));
        QVERIFY2(rows[1].endsWith(QStringLiteral("_badÿ.pdf|Abgelehnt")), qPrintable(rows[1]));
    }

    // A decision killed at each of its steps (kill -9: nothing of the program runs on): after
    // the next start the history holds exactly one row for an invoice that reached all its
    // folders, none for one that did not, and that one is still in the hotfolder.
    void killedDecisionsLeaveOneRowPerFiledInvoice_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<int>("killAt"); // the n-th step reached, from 1; 0: never killed
        // Accepting reaches seven steps (two folders), denying six: a step beyond them is
        // never reached, the decision then ends normally.
        for (int n = 0; n <= 8; ++n)
            QTest::newRow(qPrintable(QStringLiteral("accept, kill at step %1").arg(n))) << true << n;
        for (int n = 1; n <= 6; ++n)
            QTest::newRow(qPrintable(QStringLiteral("deny, kill at step %1").arg(n))) << false << n;
    }

    void killedDecisionsLeaveOneRowPerFiledInvoice()
    {
        QFETCH(bool, accept);
        QFETCH(int, killAt);
        settings.Pruefung = QString::fromLatin1(kPruefungEingebaut);
        engine->SetSettings(&settings);
        const QString file = folders->PutInvoice(QStringLiteral("k.xml"));
        engine->HotfolderTimer();
        engine->Start(file);
        const QString archiveName = engine->Rechnung()->FileName();
        const QString hash = engine->Rechnung()->Hash();
        std::fflush(stdout);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            int reached = 0;
            TEWorkflow::StepHook = [&](const char*) {
                if (++reached == killAt)
                    ::kill(::getpid(), SIGKILL);
            };
            Guarded([&] { accept ? engine->Accept() : engine->Deny(); });
            ::_exit(0);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        QCOMPARE(killed, killAt > 0 && killAt <= (accept ? 7 : 6));

        // The next start.
        MakeEngine();
        const QStringList targets = accept ? QStringList{folders->Dir(QStringLiteral("dms")), folders->Dir(QStringLiteral("weiter"))}
                                           : QStringList{folders->Dir(QStringLiteral("problem"))};
        bool filed = true;
        for (const QString& folder : targets)
            filed = filed && QFile::exists(folder + u'/' + archiveName);
        TEHistory& history = engine->History();
        QCOMPARE(history.IsKnownHash(hash), filed);
        THistoryFilter byName;
        byName.Search = archiveName;
        QCOMPARE(history.Rows(byName).size(), size_t(filed ? 1 : 0));
        // Never lost: what is not filed is still to be decided.
        if (!filed)
            QVERIFY(QFile::exists(file));
        // Nothing under way is left over.
        sqlite3* db = nullptr;
        sqlite3_open(TEHistory::DefaultPath().toUtf8().constData(), &db);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM rechnungsfakten WHERE Historie IS NULL", -1, &s, nullptr);
        QCOMPARE(sqlite3_step(s), SQLITE_ROW);
        QCOMPARE(sqlite3_column_int(s, 0), 0);
        sqlite3_finalize(s);
        sqlite3_close(db);
    }

    // What a filing killed midway left is gone at the next start, and nothing else.
    void debrisIsCleanedUpAtTheNextStart()
    {
        WriteFileBytes(settings.DMSPfad + QStringLiteral("/.erechnung-tmp-Ab3dE9"), "vollständige Kopie");
        WriteFileBytes(settings.DMSPfad + QStringLiteral("/12345678_r.xml"), "abgelegt");
        WriteFileBytes(settings.ProblemPfad + QStringLiteral("/.erechnung-tmp-qqqqqq"), "Rest");
        WriteFileBytes(settings.ProblemPfad + QStringLiteral("/Notiz.erechnung-tmp-qqqqqq"), "nicht unseres");
        const QString attachment = folders->Put(QStringLiteral(".erechnung-tmp-Mail01"), "halbe Anlage");
        const QString invoice = folders->PutInvoice(QStringLiteral("r.xml"));
        const QString info = home->DataHome() + QStringLiteral("/Trash/info/");
        QDir().mkpath(info);
        WriteFileBytes(info + QStringLiteral("r.xml.trashinfo"),
                       "[Trash Info]\nPath=" + EscapeTrashPath(EncodeFileName(invoice)) + "\nDeletionDate=2026-12-10T10:00:00\n");
        WriteFileBytes(info + QStringLiteral("anderes.xml.trashinfo"), "[Trash Info]\nPath=/home/anders/anderes.xml\n");

        engine->SetSettings(&settings);
        QCOMPARE(Names(settings.DMSPfad), QStringList{QStringLiteral("12345678_r.xml")});
        QCOMPARE(Names(settings.ProblemPfad), QStringList{QStringLiteral("Notiz.erechnung-tmp-qqqqqq")});
        QVERIFY(!QFile::exists(attachment));
        QCOMPARE(Names(info), QStringList{QStringLiteral("anderes.xml.trashinfo")});
        engine->HotfolderTimer();
        QCOMPARE(engine->Files(), QStringList{invoice});

        // The invoice is filed as if nothing had happened.
        engine->Start(invoice);
        engine->Accept();
        QVERIFY(QFile::exists(home->DataHome() + QStringLiteral("/Trash/files/r.xml")));
        QVERIFY(QFile::exists(info + QStringLiteral("r.xml.trashinfo")));
    }

    void copyNeverLeavesAPartialFile()
    {
        const QString target = folders->Dir(QStringLiteral("dms/ziel.xml"));
        WriteFileBytes(target, "die alte, vollständige Fassung");
        TFailingDevice failing;
        QCOMPARE(CopyDeviceReplacing(failing, target), QStringLiteral("Eingabe-/Ausgabefehler"));
        QCOMPARE(ReadFileBytes(target), QByteArray("die alte, vollständige Fassung"));
        QCOMPARE(Names(folders->Dir(QStringLiteral("dms"))), QStringList{QStringLiteral("ziel.xml")}); // no temporary file left

        const QString fresh = folders->Dir(QStringLiteral("dms/neu.xml"));
        TFailingDevice again;
        QVERIFY(!CopyDeviceReplacing(again, fresh).isEmpty());
        QVERIFY(!QFile::exists(fresh));
    }
};

QTEST_GUILESS_MAIN(TestWorkflow)
#include "tst_workflow.moc"
