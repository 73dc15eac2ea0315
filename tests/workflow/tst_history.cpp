#include "platform/Environment.h"
#include "platform/Exception.h"
#include "tests/support/TestEnvironment.h"
#include "workflow/EHistory.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QtTest>

#include <sqlite3.h>

namespace {

// A second, independent connection to the same file, as another program would open it.
class TOtherConnection
{
public:
    explicit TOtherConnection(const QString& path) { sqlite3_open(path.toUtf8().constData(), &db); }
    ~TOtherConnection() { sqlite3_close(db); }

    // The rows of a query, columns joined by "|"; a failure yields "ERROR: <message>".
    QStringList Query(const char* sql) const
    {
        QStringList rows;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK)
            return {QStringLiteral("ERROR: ") + QString::fromUtf8(sqlite3_errmsg(db))};
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            QStringList cols;
            for (int i = 0; i < sqlite3_column_count(s); ++i)
                cols << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, i)));
            rows << cols.join(QLatin1Char('|'));
        }
        if (rc != SQLITE_DONE)
            rows = QStringList{QStringLiteral("ERROR: ") + QString::fromUtf8(sqlite3_errmsg(db))};
        sqlite3_finalize(s);
        return rows;
    }

private:
    sqlite3* db = nullptr;
};

} // namespace

// The decision history in a real SQLite file.
class TestHistory : public QObject
{
    Q_OBJECT

    std::unique_ptr<TSandboxHome> home;
    QString path;

private Q_SLOTS:
    void init()
    {
        home = std::make_unique<TSandboxHome>();
        path = TEHistory::DefaultPath();
    }

    void firstStartCreatesFileTableAndIndex()
    {
        QCOMPARE(path, home->DataHome() + QStringLiteral("/erechnung.sqlite"));
        {
            TEHistory history(path);
            QVERIFY(QFile::exists(path));
            QVERIFY(!history.IsKnownHash(QStringLiteral("0123456789abcdef0123456789abcdef")));
            // Creating the table was a write: the file is ours until the program ends.
            QVERIFY(TOtherConnection(path).Query("SELECT name FROM sqlite_master").front().startsWith(QStringLiteral("ERROR: ")));
        }
        const QStringList schema = TOtherConnection(path).Query("SELECT type, name, sql FROM sqlite_master ORDER BY type DESC");
        QCOMPARE(schema.size(), 2);
        QCOMPARE(schema[0], QStringLiteral("table|rechnungshistorie|CREATE TABLE rechnungshistorie (FileName VARCHAR(260), "
                                           "Hash VARCHAR(64), Verarbeitung VARCHAR(16), User VARCHAR(64), Domain VARCHAR(64), "
                                           "PC VARCHAR(64), Zeitpunkt DATETIME)"));
        QCOMPARE(schema[1], QStringLiteral("index|ixHash|CREATE INDEX ixHash ON rechnungshistorie (Hash)"));
    }

    void decisionsAreRecordedUnchanged()
    {
        qputenv("USERNAME", "Erika Mustermann");
        qunsetenv("USERDOMAIN");
        qputenv("COMPUTERNAME", "BUCHHALTUNG-01");
        const QString hash = QStringLiteral("5a291504e2a3dc31312e00e7ffdb9f00");
        {
            TEHistory history(path);
            history.WriteHistory(QStringLiteral("a291504e_O'Brien; DROP TABLE x;--.xml"), hash, QStringLiteral("Abgelehnt"));
            QVERIFY(history.IsKnownHash(hash));
            history.WriteHistory(QStringLiteral("a291504e_O'Brien.xml"), hash, QStringLiteral("Akzeptiert"));
            QVERIFY(history.IsKnownHash(hash));
            QVERIFY(!history.IsKnownHash(hash.toUpper())); // exact text comparison
            QVERIFY(!history.IsKnownHash(QStringLiteral("' OR '1'='1")));
        }
        const QDateTime now = QDateTime::currentDateTime();
        const QStringList rows = TOtherConnection(path).Query(
            "SELECT FileName, Hash, Verarbeitung, User, typeof(Domain), Domain, PC, Zeitpunkt FROM rechnungshistorie ORDER BY rowid");
        QCOMPARE(rows.size(), 2);
        const QStringList first = rows[0].split(QLatin1Char('|'));
        QCOMPARE(first[0], QStringLiteral("a291504e_O'Brien; DROP TABLE x;--.xml"));
        QCOMPARE(first[1], hash);
        QCOMPARE(first[2], QStringLiteral("Abgelehnt"));
        QCOMPARE(first[3], QStringLiteral("Erika Mustermann"));
        QCOMPARE(first[4], QStringLiteral("text")); // never NULL
        QCOMPARE(first[5], UserDomain());
        QCOMPARE(first[6], QStringLiteral("BUCHHALTUNG-01"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$")).match(first[7]).hasMatch());
        const QDateTime stamp = QDateTime::fromString(first[7], QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY2(qAbs(stamp.secsTo(now)) < 120, qPrintable(first[7])); // local time, not UTC
        QCOMPARE(rows[1].split(QLatin1Char('|'))[2], QStringLiteral("Akzeptiert"));
    }

    // The duplicate notice reads the latest decision and how many there are.
    void lastDecisionOfAnInvoice()
    {
        qputenv("USERNAME", "mmueller");
        qputenv("COMPUTERNAME", "BUCHHALTUNG-2");
        TEHistory history(path);
        QVERIFY(!history.LastDecision(QStringLiteral("abc")).has_value());
        history.WriteHistory(QStringLiteral("11111111_erst.xml"), QStringLiteral("abc"), QStringLiteral("Abgelehnt"));
        history.WriteHistory(QStringLiteral("22222222_andere.xml"), QStringLiteral("def"), QStringLiteral("Akzeptiert"));
        history.WriteHistory(QStringLiteral("33333333_dann.xml"), QStringLiteral("abc"), QStringLiteral("Akzeptiert"));
        const auto last = history.LastDecision(QStringLiteral("abc"));
        QVERIFY(last.has_value());
        QCOMPARE(last->FileName, QStringLiteral("33333333_dann.xml"));
        QCOMPARE(last->Verarbeitung, QStringLiteral("Akzeptiert"));
        QCOMPARE(last->User, QStringLiteral("mmueller"));
        QCOMPARE(last->PC, QStringLiteral("BUCHHALTUNG-2"));
        QCOMPARE(last->Count, 2);
        QVERIFY(QDateTime::fromString(last->Zeitpunkt, QStringLiteral("yyyy-MM-dd HH:mm:ss")).isValid());
        qunsetenv("USERNAME");
        qunsetenv("COMPUTERNAME");
    }

    void unsetVariablesGiveEmptyText()
    {
        qunsetenv("USERDOMAIN");
        qunsetenv("USERNAME");
        qunsetenv("COMPUTERNAME");
        QVERIFY(!UserDomain().isNull());
        QVERIFY(!UserName().isEmpty());     // USER, LOGNAME or the passwd entry
        QVERIFY(!ComputerName().isEmpty()); // the host name
    }

    void existingTableWithOtherColumnsIsNotTouched()
    {
        {
            TOtherConnection other(path);
            other.Query("CREATE TABLE rechnungshistorie (Nummer INTEGER, Bemerkung TEXT)");
            other.Query("INSERT INTO rechnungshistorie VALUES (1, 'alt')");
        }
        {
            TEHistory history(path);
            QCOMPARE(ErrorOf([&] { history.WriteHistory(QStringLiteral("x.xml"), QStringLiteral("h"), QStringLiteral("Akzeptiert")); }),
                     QStringLiteral("table rechnungshistorie has no column named FileName"));
            QCOMPARE(ErrorOf([&] { history.IsKnownHash(QStringLiteral("h")); }), QStringLiteral("no such column: Hash"));
        }
        QCOMPARE(TOtherConnection(path).Query("SELECT * FROM rechnungshistorie"), QStringList{QStringLiteral("1|alt")});
    }

    void exclusiveLockShutsOthersOut()
    {
        { TEHistory first(path); } // the table exists from here on
        TEHistory history(path);
        // After the start-up read others may read, but not write.
        QCOMPARE(TOtherConnection(path).Query("SELECT COUNT(*) FROM rechnungshistorie"), QStringList{QStringLiteral("0")});
        QCOMPARE(TOtherConnection(path).Query("INSERT INTO rechnungshistorie (Hash) VALUES ('x')"),
                 QStringList{QStringLiteral("ERROR: database is locked")});
        history.WriteHistory(QStringLiteral("x.xml"), QStringLiteral("h"), QStringLiteral("Akzeptiert"));
        QCOMPARE(TOtherConnection(path).Query("SELECT COUNT(*) FROM rechnungshistorie"),
                 QStringList{QStringLiteral("ERROR: database is locked")});
        // A second program of the same user cannot even open it now.
        QCOMPARE(ErrorOf([&] { TEHistory second(path); }), QStringLiteral("database is locked"));
        QVERIFY(history.IsKnownHash(QStringLiteral("h")));
    }

    void unopenableFile()
    {
        QCOMPARE(ErrorOf([&] { TEHistory h(home->Path() + QStringLiteral("/fehlt/erechnung.sqlite")); }),
                 QStringLiteral("unable to open database file"));
        WriteFileBytes(path, QByteArray(4096, 'x'));
        QCOMPARE(ErrorOf([&] { TEHistory h(path); }), QStringLiteral("file is not a database"));
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
