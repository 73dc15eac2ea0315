#include "platform/Environment.h"
#include "platform/Exception.h"
#include "tests/support/TestEnvironment.h"
#include "workflow/EHistory.h"
#include "workflow/HistoryExport.h"

#include <QDateTime>
#include <QDir>
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

TInvoiceFacts Facts(const char* number, const char* vatId, const char* account)
{
    TInvoiceFacts f;
    f.SellerName = QStringLiteral("Lieferant GmbH");
    f.SellerVatId = QString::fromUtf8(vatId);
    f.Number = QString::fromUtf8(number);
    f.TypeCode = QStringLiteral("380");
    f.IssueDate = QStringLiteral("20240131");
    f.GrandTotal = QStringLiteral("119.00");
    f.AmountDue = QStringLiteral("119.00");
    if (*account)
        f.Accounts << NormalizedAccount(QString::fromUtf8(account));
    return f;
}

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
            // Another program of the same user reads it meanwhile.
            QVERIFY(!TOtherConnection(path).Query("SELECT name FROM sqlite_master").front().startsWith(QStringLiteral("ERROR: ")));
        }
        const QStringList schema = TOtherConnection(path).Query(
            "SELECT type, name, sql FROM sqlite_master WHERE tbl_name='rechnungshistorie' ORDER BY type DESC");
        QCOMPARE(schema.size(), 2);
        QCOMPARE(schema[0], QStringLiteral("table|rechnungshistorie|CREATE TABLE rechnungshistorie (FileName VARCHAR(260), "
                                           "Hash VARCHAR(64), Verarbeitung VARCHAR(16), User VARCHAR(64), Domain VARCHAR(64), "
                                           "PC VARCHAR(64), Zeitpunkt DATETIME)"));
        QCOMPARE(schema[1], QStringLiteral("index|ixHash|CREATE INDEX ixHash ON rechnungshistorie (Hash)"));
        // The facts beside it, in a table of their own.
        QCOMPARE(TOtherConnection(path).Query("SELECT COUNT(*) FROM rechnungsfakten"), QStringList{QStringLiteral("0")});
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

    // Two programs of the same user (two windows, the window and erechnung-check) share the
    // history: each reads and records while the other has it open, and nothing is lost.
    void twoProgramsShareTheHistory()
    {
        TEHistory first(path);
        TEHistory second(path);
        first.WriteHistory(QStringLiteral("a.xml"), QStringLiteral("ha"), QStringLiteral("Akzeptiert"));
        second.WriteHistory(QStringLiteral("b.xml"), QStringLiteral("hb"), QStringLiteral("Abgelehnt"));
        QVERIFY(second.IsKnownHash(QStringLiteral("ha")) && first.IsKnownHash(QStringLiteral("hb")));
        QCOMPARE(TOtherConnection(path).Query("INSERT INTO rechnungshistorie (Hash) VALUES ('x')"), QStringList());
        QCOMPARE(TOtherConnection(path).Query("SELECT COUNT(*) FROM rechnungshistorie"), QStringList{QStringLiteral("3")});
        // A reader while the other writes waits instead of failing.
        std::unique_ptr<TEHistory> reader = TEHistory::OpenForReading(path);
        QVERIFY(reader);
        QCOMPARE(reader->Rows({}).size(), size_t(3));
        QVERIFY(!TEHistory::OpenForReading(home->Path() + QStringLiteral("/keine.sqlite")));
    }

    // A history file made before the facts were kept: it keeps working, its rows have no
    // facts, new rows have them.
    void historyFromBeforeTheFacts()
    {
        {
            TOtherConnection old(path);
            old.Query("CREATE TABLE rechnungshistorie (FileName VARCHAR(260), Hash VARCHAR(64), Verarbeitung VARCHAR(16), "
                      "User VARCHAR(64), Domain VARCHAR(64), PC VARCHAR(64), Zeitpunkt DATETIME)");
            old.Query("CREATE INDEX ixHash ON rechnungshistorie (Hash)");
            old.Query("INSERT INTO rechnungshistorie VALUES ('alt.xml', 'h0', 'Akzeptiert', 'u', 'd', 'pc', '2020-01-02 03:04:05')");
        }
        TEHistory history(path);
        QVERIFY(history.IsKnownHash(QStringLiteral("h0")));
        const TInvoiceFacts facts = Facts("S1", "DE123456789", "DE02120300000000202051");
        history.WriteHistory(QStringLiteral("neu.xml"), QStringLiteral("h1"), QStringLiteral("Akzeptiert"), &facts);
        const std::vector<THistoryRow> rows = history.Rows({});
        QCOMPARE(rows.size(), size_t(2));
        QCOMPARE(rows[1].FileName, QStringLiteral("alt.xml"));
        QVERIFY(!rows[1].HasFacts);
        QVERIFY(rows[0].HasFacts);
        QCOMPARE(rows[0].Facts.Number, QStringLiteral("S1"));
        QCOMPARE(rows[0].Facts.Accounts, QStringList{QStringLiteral("DE02120300000000202051")});
        // The old table and its index are as they were.
        QCOMPARE(TOtherConnection(path).Query("SELECT COUNT(*) FROM sqlite_master WHERE tbl_name='rechnungshistorie'"),
                 QStringList{QStringLiteral("2")});
    }

    // The same invoice in other bytes: same seller (by the first identifier both carry),
    // same number, same kind of document, another hash.
    void sameInvoiceInOtherForm_data()
    {
        QTest::addColumn<QStringList>("earlier"); // seller vat id, seller id, tax number, name, number, type code
        QTest::addColumn<QStringList>("now");
        QTest::addColumn<bool>("same");
        const QStringList base{"DE123456789", "", "", "Lieferant GmbH", "R-1", "380"};
        auto with = [&](int field, const char* value) {
            QStringList f = base;
            f[field] = QString::fromUtf8(value);
            return f;
        };
        QTest::newRow("same VAT id and number") << base << base << true;
        QTest::newRow("VAT id with blanks and lower case") << base << with(0, "de 123 456 789") << true;
        QTest::newRow("another VAT id") << base << with(0, "DE999999999") << false;
        QTest::newRow("another number") << base << with(4, "R-2") << false;
        QTest::newRow("number with blanks") << base << with(4, " r-1 ") << true;
        QTest::newRow("credit note of the invoice") << base << with(5, "381") << false;
        QTest::newRow("correction of the invoice") << base << with(5, "384") << false;
        QTest::newRow("partial invoice is an invoice") << base << with(5, "326") << true;
        const QStringList byName{"", "", "", "Lieferant GmbH", "R-1", "380"};
        QTest::newRow("names only, differing in case and blanks")
            << byName << QStringList{"", "", "", "LIEFERANT  gmbh", "R-1", "380"} << true;
        QTest::newRow("names only, another name") << byName << QStringList{"", "", "", "Anderer GmbH", "R-1", "380"} << false;
        QTest::newRow("seller identifier alone")
            << QStringList{"", "4711", "", "A", "R-1", "380"} << QStringList{"", "4711", "", "B", "R-1", "380"} << true;
        QTest::newRow("tax number alone")
            << QStringList{"", "", "201/113/40209", "A", "R-1", "380"} << QStringList{"", "", "201/113/40209", "A", "R-1", "380"} << true;
        QTest::newRow("VAT id decides before the name")
            << QStringList{"DE123456789", "", "", "A", "R-1", "380"} << QStringList{"DE999999999", "", "", "A", "R-1", "380"} << false;
        QTest::newRow("one with VAT id, one with name only: the name decides")
            << QStringList{"DE123456789", "", "", "A", "R-1", "380"} << QStringList{"", "", "", "a", "R-1", "380"} << true;
    }

    void sameInvoiceInOtherForm()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QStringList, now);
        QFETCH(bool, same);
        TEHistory history(path);
        auto facts = [](const QStringList& f) {
            TInvoiceFacts x;
            x.SellerVatId = f[0];
            x.SellerId = f[1];
            x.SellerTaxNumber = f[2];
            x.SellerName = f[3];
            x.Number = f[4];
            x.TypeCode = f[5];
            x.GrandTotal = QStringLiteral("119.00");
            x.AmountDue = QStringLiteral("119.00");
            x.IssueDate = QStringLiteral("20240131");
            return x;
        };
        const TInvoiceFacts before = facts(earlier);
        history.WriteHistory(QStringLiteral("alt.pdf"), QStringLiteral("h1"), QStringLiteral("Akzeptiert"), &before);
        TInvoiceFacts after = facts(now);
        const std::optional<TSameInvoice> found = history.SameInvoiceInOtherForm(after, QStringLiteral("h2"));
        QCOMPARE(bool(found), same);
        // The very same bytes are the hash's duplicate, not this one.
        QVERIFY(!history.SameInvoiceInOtherForm(after, QStringLiteral("h1")));
        if (!same)
            return;
        QCOMPARE(found->Earlier.FileName, QStringLiteral("alt.pdf"));
        QVERIFY(found->Differences.isEmpty());
        after.GrandTotal = QStringLiteral("129.00");
        after.IssueDate = QStringLiteral("20240201");
        QCOMPARE(history.SameInvoiceInOtherForm(after, QStringLiteral("h2"))->Differences,
                 (QStringList{QStringLiteral("Gesamtbetrag 129,00 (früher 119,00)"), QStringLiteral("Rechnungsdatum 01.02.2024 (früher 31.01.2024)")}));
    }

    // A known seller's new account: only accepted invoices make a seller and its accounts
    // known.
    void newAccountOfAKnownSeller_data()
    {
        QTest::addColumn<QStringList>("earlier"); // decision:account, ... of the same seller
        QTest::addColumn<QString>("account");
        QTest::addColumn<QStringList>("unknown");
        QTest::newRow("new seller") << QStringList() << "DE02120300000000202051" << QStringList();
        QTest::newRow("same account") << QStringList{"Akzeptiert:DE02120300000000202051"} << "DE02 1203 0000 0000 2020 51"
                                      << QStringList();
        QTest::newRow("second account") << QStringList{"Akzeptiert:DE02120300000000202051"} << "DE75512108001245126199"
                                        << QStringList{"DE75512108001245126199"};
        QTest::newRow("known from any accepted invoice")
            << QStringList{"Akzeptiert:DE75512108001245126199", "Akzeptiert:DE02120300000000202051"} << "de75512108001245126199"
            << QStringList();
        QTest::newRow("only rejected before") << QStringList{"Abgelehnt:DE02120300000000202051"} << "DE75512108001245126199"
                                              << QStringList();
        QTest::newRow("a rejected invoice's account is no known one")
            << QStringList{"Akzeptiert:DE02120300000000202051", "Abgelehnt:DE75512108001245126199"} << "DE75512108001245126199"
            << QStringList{"DE75512108001245126199"};
    }

    void newAccountOfAKnownSeller()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QString, account);
        QFETCH(QStringList, unknown);
        TEHistory history(path);
        int n = 0;
        for (const QString& e : earlier) {
            const QStringList parts = e.split(u':');
            const TInvoiceFacts f = Facts(qPrintable(QStringLiteral("R-%1").arg(++n)), "DE123456789", qPrintable(parts[1]));
            history.WriteHistory(QStringLiteral("r%1.xml").arg(n), QStringLiteral("h%1").arg(n), parts[0], &f);
        }
        // Another seller's accounts say nothing about this one.
        const TInvoiceFacts other = Facts("X-1", "DE999999999", "DE75512108001245126199");
        history.WriteHistory(QStringLiteral("x.xml"), QStringLiteral("hx"), QStringLiteral("Akzeptiert"), &other);
        const TInvoiceFacts now = Facts("R-99", "DE 123456789", qPrintable(account));
        const std::optional<TNewAccount> found = history.NewAccount(now);
        QCOMPARE(found ? found->Unknown : QStringList(), unknown);
        if (!found)
            return;
        QStringList known;
        for (const QString& e : earlier) {
            if (e.startsWith(QStringLiteral("Akzeptiert:")))
                known << e.section(u':', 1);
        }
        QCOMPARE(found->Known, known);
        QCOMPARE(found->Seller, QStringLiteral("Lieferant GmbH"));
    }

    // A decision noted before the first copy: recorded when its targets exist, dropped when
    // not, and at the next start a killed one is found.
    void decisionsUnderWay()
    {
        const QString target = home->Path() + QStringLiteral("/archiv/a.xml");
        QDir().mkpath(home->Path() + QStringLiteral("/archiv"));
        {
            TEHistory history(path);
            const TInvoiceFacts facts = Facts("R-1", "DE123456789", "");
            const qint64 done = history.BeginDecision(QStringLiteral("a.xml"), QStringLiteral("ha"), QStringLiteral("Akzeptiert"), &facts,
                                                      {target});
            QVERIFY(!history.IsKnownHash(QStringLiteral("ha"))); // not yet a decision
            history.CompleteDecision(done);
            QVERIFY(history.IsKnownHash(QStringLiteral("ha")));
            const qint64 failed = history.BeginDecision(QStringLiteral("b.xml"), QStringLiteral("hb"), QStringLiteral("Abgelehnt"), nullptr, {target});
            history.DropDecision(failed);
            // Two killed ones: one filed, one not.
            history.BeginDecision(QStringLiteral("c.xml"), QStringLiteral("hc"), QStringLiteral("Akzeptiert"), nullptr, {target});
            history.BeginDecision(QStringLiteral("d.xml"), QStringLiteral("hd"), QStringLiteral("Akzeptiert"), nullptr,
                                  {target, home->Path() + QStringLiteral("/fehlt/d.xml")});
            TOtherConnection(path).Query("UPDATE rechnungsfakten SET Zeitpunkt='2020-05-06 07:08:09' WHERE Hash='hc'");
        }
        WriteFileBytes(target, "x");
        TEHistory next(path);
        QCOMPARE(next.RecoverPending([](const QString& p) { return QFile::exists(p); }), 1);
        QCOMPARE(TOtherConnection(path).Query("SELECT Hash, Zeitpunkt FROM rechnungshistorie WHERE Hash IN ('hb','hc','hd')"),
                 QStringList{QStringLiteral("hc|2020-05-06 07:08:09")});
        QCOMPARE(TOtherConnection(path).Query("SELECT COUNT(*) FROM rechnungsfakten WHERE Historie IS NULL"),
                 QStringList{QStringLiteral("0")});
        QCOMPARE(next.RecoverPending([](const QString&) { return true; }), 0);
    }

    // The history window's query: newest first, searched, filtered.
    void rowsSearchedAndFiltered_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("decision");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("all, newest first") << "" << "" << QStringList{"c.xml", "b.xml", "a.xml"};
        QTest::newRow("number") << "R-2" << "" << QStringList{"b.xml"};
        QTest::newRow("seller, any case") << "anderer" << "" << QStringList{"c.xml"};
        QTest::newRow("amount as the reader writes it") << "1.234,56" << "" << QStringList{"b.xml"};
        QTest::newRow("account with blanks") << "de75 5121" << "" << QStringList{"c.xml"};
        QTest::newRow("archive name") << "a.x" << "" << QStringList{"a.xml"};
        QTest::newRow("percent sign is literal") << "%" << "" << QStringList();
        QTest::newRow("decision") << "" << "Abgelehnt" << QStringList{"b.xml"};
    }

    void rowsSearchedAndFiltered()
    {
        QFETCH(QString, search);
        QFETCH(QString, decision);
        QFETCH(QStringList, files);
        TEHistory history(path);
        TInvoiceFacts a = Facts("R-1", "DE123456789", "DE02120300000000202051");
        TInvoiceFacts b = Facts("R-2", "DE123456789", "DE02120300000000202051");
        b.GrandTotal = QStringLiteral("1234.56");
        TInvoiceFacts c = Facts("X-1", "DE999999999", "DE75512108001245126199");
        c.SellerName = QStringLiteral("Anderer Lieferant");
        history.WriteHistory(QStringLiteral("a.xml"), QStringLiteral("ha"), QStringLiteral("Akzeptiert"), &a);
        history.WriteHistory(QStringLiteral("b.xml"), QStringLiteral("hb"), QStringLiteral("Abgelehnt"), &b);
        history.WriteHistory(QStringLiteral("c.xml"), QStringLiteral("hc"), QStringLiteral("Akzeptiert"), &c);
        THistoryFilter filter;
        filter.Search = search;
        filter.Verarbeitung = decision;
        QStringList found;
        for (const THistoryRow& row : history.Rows(filter))
            found << row.FileName;
        QCOMPARE(found, files);
        // A day range: today holds them all, yesterday none.
        filter = {};
        filter.From = filter.To = QDate::currentDate();
        QCOMPARE(history.Rows(filter).size(), size_t(3));
        filter.From = filter.To = QDate::currentDate().addDays(-1);
        QCOMPARE(history.Rows(filter).size(), size_t(0));
    }

    // The export opens in German Excel: read back as Excel reads it, every field is there.
    void csvAsGermanExcelReadsIt()
    {
        TEHistory history(path);
        TInvoiceFacts f = Facts("R-1", "DE123456789", "DE02120300000000202051");
        f.SellerName = QStringLiteral("Müller; Söhne \"GmbH\"");
        f.GrandTotal = QStringLiteral("1234.56");
        f.AmountDue = QStringLiteral("-8.79");
        f.BuyerReference = QStringLiteral("=HYPERLINK(\"x\")");
        history.WriteHistory(QStringLiteral("a.xml"), QStringLiteral("ha"), QStringLiteral("Akzeptiert"), &f);
        history.WriteHistory(QStringLiteral("ohne.pdf"), QStringLiteral("hb"), QStringLiteral("Abgelehnt"));
        TOtherConnection(path).Query("UPDATE rechnungshistorie SET Zeitpunkt='2024-03-05 07:08:09' WHERE Hash='ha'");
        const QByteArray csv = HistoryCsv(history.Rows({}));
        QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
        // Fields split the way a spreadsheet splits them: semicolons, quotes doubled.
        const QString text = QString::fromUtf8(csv.mid(3));
        QVERIFY(text.endsWith(QStringLiteral("\r\n")));
        std::vector<QStringList> records;
        QStringList fields;
        QString field;
        bool quoted = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (quoted) {
                if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                    field += c;
                    ++i;
                } else if (c == u'"') {
                    quoted = false;
                } else {
                    field += c;
                }
            } else if (c == u'"') {
                quoted = true;
            } else if (c == u';') {
                fields << field;
                field.clear();
            } else if (c == u'\r' && text.mid(i, 2) == QStringLiteral("\r\n")) {
                fields << field;
                field.clear();
                records.push_back(fields);
                fields.clear();
                ++i;
            } else {
                field += c;
            }
        }
        QCOMPARE(records.size(), size_t(3));
        QCOMPARE(records[0], HistoryCsvColumns());
        for (const QStringList& r : records)
            QCOMPARE(r.size(), HistoryCsvColumns().size());
        auto column = [&](const QStringList& r, const char* name) { return r[HistoryCsvColumns().indexOf(QString::fromUtf8(name))]; };
        const QStringList& older = records[2]; // newest first: the PDF, then the invoice
        QCOMPARE(column(older, "Zeitpunkt"), QStringLiteral("05.03.2024 07:08"));
        QCOMPARE(column(older, "Entscheidung"), QStringLiteral("Akzeptiert"));
        QCOMPARE(column(older, "Lieferant"), QStringLiteral("Müller; Söhne \"GmbH\""));
        QCOMPARE(column(older, "Rechnungsdatum"), QStringLiteral("31.01.2024"));
        QCOMPARE(column(older, "Gesamtbetrag"), QStringLiteral("1234,56"));
        QCOMPARE(column(older, "Zahlbetrag"), QStringLiteral("-8,79"));
        QCOMPARE(column(older, "Bankverbindungen"), QStringLiteral("DE02120300000000202051"));
        QCOMPARE(column(older, "Käuferreferenz"), QStringLiteral("'=HYPERLINK(\"x\")")); // no formula
        QCOMPARE(column(records[1], "Ablagename"), QStringLiteral("ohne.pdf"));
        QCOMPARE(column(records[1], "Rechnungsnummer"), QString()); // a file without facts
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
