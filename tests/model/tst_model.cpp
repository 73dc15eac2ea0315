#include "invoice/ERechnung.h"
#include "model/Decimal.h"
#include "model/InvoiceReader.h"
#include "model/InvoiceView.h"
#include "platform/Exception.h"
#include "tests/support/TestEnvironment.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

TInvoice Fixture(const QString& name)
{
    return ReadInvoice(ReadTestData(QStringLiteral("model/") + name));
}

// The amount as the view shows it: German, at least two decimals.
QString Shown(const TTermValue* v)
{
    const std::optional<TDecimal> d = v->Decimal();
    return d ? d->ToGerman(std::max(2, d->Scale())) : v->Text;
}

// Attributes in the page that would make it load something from elsewhere.
QStringList ExternalLoads(const QString& html)
{
    static const QRegularExpression load(QStringLiteral("<[^>]*\\s(?:src|href|action|srcset|data)\\s*=\\s*[\"']?\\s*(?:https?:|//|ftp:|file:)"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression cssUrl(QStringLiteral("url\\s*\\(|@import"), QRegularExpression::CaseInsensitiveOption);
    QStringList found;
    for (auto it = load.globalMatch(html); it.hasNext();)
        found << it.next().captured();
    for (auto it = cssUrl.globalMatch(html); it.hasNext();)
        found << it.next().captured();
    return found;
}

} // namespace

// The invoice model of EN 16931 read from UBL and CII, and the built-in view made from it.
class TestModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decimalsAreExact_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("result");
        QTest::newRow("0.1 + 0.2") << QStringLiteral("0.1 + 0.2") << QStringLiteral("0.3");
        QTest::newRow("scale of the sum") << QStringLiteral("1.50 + 2") << QStringLiteral("3.50");
        QTest::newRow("product") << QStringLiteral("2.5 * 40.00") << QStringLiteral("100.000");
        QTest::newRow("difference below zero") << QStringLiteral("5 - 7.25") << QStringLiteral("-2.25");
        QTest::newRow("half up") << QStringLiteral("round 2.345 2") << QStringLiteral("2.35");
        QTest::newRow("half up, negative tie") << QStringLiteral("round -2.345 2") << QStringLiteral("-2.34");
        QTest::newRow("away from zero, negative tie") << QStringLiteral("away -2.345 2") << QStringLiteral("-2.35");
        QTest::newRow("below the tie") << QStringLiteral("round 6.894999 2") << QStringLiteral("6.89");
        QTest::newRow("VAT of 98.50 at 7 %") << QStringLiteral("round 6.895 2") << QStringLiteral("6.90");
        QTest::newRow("nothing to round") << QStringLiteral("round 1.5 2") << QStringLiteral("1.5");
        QTest::newRow("division") << QStringLiteral("div 10 3 4") << QStringLiteral("3.3333");
        QTest::newRow("division rounds") << QStringLiteral("div 2 3 2") << QStringLiteral("0.67");
        QTest::newRow("division by zero") << QStringLiteral("div 1 0 2") << QStringLiteral("ungültig");
        QTest::newRow("38 digits fit") << QStringLiteral("99999999999999999999999999999999999999 + 0")
                                       << QStringLiteral("99999999999999999999999999999999999999");
        QTest::newRow("overflow is invalid") << QStringLiteral("99999999999999999999999999999999999999 * 10")
                                             << QStringLiteral("ungültig");
        QTest::newRow("invalid stays invalid") << QStringLiteral("99999999999999999999999999999999999999 * 10 + 1")
                                               << QStringLiteral("ungültig");
    }

    void decimalsAreExact()
    {
        QFETCH(QString, expression);
        QFETCH(QString, result);
        const QStringList p = expression.split(QLatin1Char(' '));
        auto d = [](const QString& t) { return *TDecimal::Parse(t); };
        TDecimal r;
        if (p[0] == QLatin1String("round"))
            r = d(p[1]).RoundHalfUp(p[2].toInt());
        else if (p[0] == QLatin1String("away"))
            r = d(p[1]).RoundHalfAwayFromZero(p[2].toInt());
        else if (p[0] == QLatin1String("div"))
            r = d(p[1]).Divide(d(p[2]), p[3].toInt());
        else {
            r = d(p[0]);
            for (qsizetype i = 1; i + 1 < p.size(); i += 2)
                r = p[i] == QLatin1String("+") ? r + d(p[i + 1]) : p[i] == QLatin1String("-") ? r - d(p[i + 1]) : r * d(p[i + 1]);
        }
        QCOMPARE(r.ToString(), result);
    }

    void decimalText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: no decimal
        QTest::addColumn<QString>("german");
        QTest::newRow("plain") << QStringLiteral("1234.5") << QStringLiteral("1234.5") << QStringLiteral("1.234,5");
        QTest::newRow("blanks around") << QStringLiteral(" 12.00\n") << QStringLiteral("12.00") << QStringLiteral("12,00");
        QTest::newRow("plus sign") << QStringLiteral("+3") << QStringLiteral("3") << QStringLiteral("3");
        QTest::newRow("leading point") << QStringLiteral(".5") << QStringLiteral("0.5") << QStringLiteral("0,5");
        QTest::newRow("trailing point") << QStringLiteral("7.") << QStringLiteral("7") << QStringLiteral("7");
        QTest::newRow("negative millions") << QStringLiteral("-1234567.891") << QStringLiteral("-1234567.891")
                                           << QStringLiteral("-1.234.567,891");
        QTest::newRow("comma") << QStringLiteral("12,50") << QString() << QString();
        QTest::newRow("exponent") << QStringLiteral("1e3") << QString() << QString();
        QTest::newRow("thousands separator") << QStringLiteral("1.234.5") << QString() << QString();
        QTest::newRow("empty") << QString() << QString() << QString();
        QTest::newRow("sign only") << QStringLiteral("-") << QString() << QString();
        QTest::newRow("39 digits") << QStringLiteral("123456789012345678901234567890123456789") << QString() << QString();
    }

    void decimalText()
    {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(QString, german);
        const std::optional<TDecimal> d = TDecimal::Parse(text);
        QCOMPARE(d.has_value(), !canonical.isEmpty());
        if (d) {
            QCOMPARE(d->ToString(), canonical);
            QCOMPARE(d->ToGerman(), german);
        }
    }

    // Main terms of corpus invoices, read by hand from the files.
    void mainTermsOfCorpusInvoices_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("syntax");
        QTest::addColumn<QStringList>("terms"); // BT-1, BT-2, BT-3, BT-5, BT-10, BT-27, BT-31, BT-44
        QTest::addColumn<QStringList>("totals"); // BT-109, BT-112, BT-115
        QTest::addColumn<int>("lines");
        QTest::addColumn<QStringList>("ibans");
        QTest::newRow("UBL 01.01a") << QStringLiteral("kosit-ts__01.01a-INVOICE_ubl.xml") << QStringLiteral("UBL Invoice")
                                    << QStringList{"123456XX", "2016-04-04", "380", "EUR", "04011000-12345-03", "[Seller name]", "DE 123456789", "[Buyer name]"}
                                    << QStringList{"314.86", "336.9", "336.9"} << 2 << QStringList{"DE79000000001234567890"};
        QTest::newRow("UBL 02.01a") << QStringLiteral("kosit-ts__02.01a-INVOICE_ubl.xml") << QStringLiteral("UBL Invoice")
                                    << QStringList{"1234567", "2018-04-13", "380", "EUR", "90000000-03083-72", "[Seller name]", "ATU123456789", "[Buyer name]"}
                                    << QStringList{"10781.25", "12829.69", "12829.69"} << 2 << QStringList{"DE79000000001234567890"};
        QTest::newRow("UBL Mustang") << QStringLiteral("mustang__TESTXRECHNUNG_INVDSS_012015776085.XML") << QStringLiteral("UBL Invoice")
                                     << QStringList{"2015776085", "2024-11-01", "380", "EUR", "02-ZZ987654-99",
                                                    "Alphabet Fuhrparkmanagement GmbH", "DE238574172", "Muster GmbH"}
                                     << QStringList{"851.00", "1012.69", "1012.69"} << 1 << QStringList{"DE34700700100156919301"};
        QTest::newRow("UBL credit note") << QStringLiteral("zf-corpus__ubl-tc434-creditnote1.xml") << QStringLiteral("UBL CreditNote")
                                         << QStringList{"018304 / 28865", "2019-09-23", "381", "EUR", "018304 / 28865", "My Supplier Company",
                                                        "BE0000000196", "My Customer Company"}
                                         << QStringList{"100.11", "100.11", "100.11"} << 1 << QStringList{"BE91000000143476"};
        QTest::newRow("CII 01.01a") << QStringLiteral("kosit-ts__01.01a-INVOICE_uncefact.xml") << QStringLiteral("CII")
                                    << QStringList{"123456XX", "20160404", "380", "EUR", "04011000-12345-03", "[Seller name]", "DE 123456789", "[Buyer name]"}
                                    << QStringList{"314.86", "336.9", "336.9"} << 2 << QStringList{"DE79000000001234567890"};
        QTest::newRow("CII 01.13a") << QStringLiteral("kosit-ts__01.13a-INVOICE_uncefact.xml") << QStringLiteral("CII")
                                    << QStringList{"Rechnungsnummer", "20150109", "380", "EUR", "04011000-12354-73", "[Seller name]", "DE123456789", "[Buyer name]"}
                                    << QStringList{"5330", "6342.7", "6342.7"} << 11 << QStringList{"DE79000000001234567890"};
        QTest::newRow("CII Mustang") << QStringLiteral("mustang__cii.xml") << QStringLiteral("CII")
                                     << QStringList{"RE-20201121/508", "20201121", "380", "EUR", "AB321", "Bei Spiel GmbH", "DE136695976", "Theodor Est"}
                                     << QStringList{"496.00", "571.04", "571.04"} << 3 << QStringList{"DE88200800000970375700"};
    }

    void mainTermsOfCorpusInvoices()
    {
        QFETCH(QString, file);
        QFETCH(QString, syntax);
        QFETCH(QStringList, terms);
        QFETCH(QStringList, totals);
        QFETCH(int, lines);
        QFETCH(QStringList, ibans);
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        const TInvoice invoice = ReadInvoice(ReadFileBytes(CorpusPath(file)));
        QCOMPARE(invoice.SyntaxName(), syntax);
        const char* paths[] = {"BT-1", "BT-2", "BT-3", "BT-5", "BT-10", "BG-4/BT-27", "BG-4/BT-31", "BG-7/BT-44"};
        for (int i = 0; i < terms.size(); ++i)
            QCOMPARE(invoice.Text(QLatin1String(paths[i])).trimmed(), terms[i]);
        QCOMPARE(invoice.Text(u"BG-22/BT-109").trimmed(), totals[0]);
        QCOMPARE(invoice.Text(u"BG-22/BT-112").trimmed(), totals[1]);
        QCOMPARE(invoice.Text(u"BG-22/BT-115").trimmed(), totals[2]);
        QCOMPARE(int(invoice.Lines().size()), lines);
        QCOMPARE(invoice.Ibans(), ibans);
    }

    // Every XML invoice of the corpus, and every PDF's attachment, is read into the model
    // or refused with a reason; every invoice read shows its totals and VAT breakdown in the
    // built-in view, which loads nothing from anywhere.
    void wholeCorpus()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        QFile manifest(CorpusPath(QStringLiteral("manifest.tsv")));
        QVERIFY(manifest.open(QIODevice::ReadOnly));
        const QList<QByteArray> header = manifest.readLine().trimmed().split('\t');
        int read = 0, refused = 0;
        while (!manifest.atEnd()) {
            const QList<QByteArray> row = manifest.readLine().chopped(1).split('\t');
            const QString file = QString::fromUtf8(row[header.indexOf("file")]);
            const QByteArray kind = row[header.indexOf("kind")];
            if (kind == "pdf-without-xml")
                continue;
            TERechnung rechnung(nullptr, CorpusPath(file));
            const TInvoice* invoice = rechnung.Model();
            if (kind == "ubl" || kind == "cii")
                QVERIFY2(invoice, qPrintable(file + QStringLiteral(": ") + rechnung.ModelError()));
            if (!invoice) {
                QVERIFY2(rechnung.ModelError().size() > 20, qPrintable(file));
                ++refused;
                continue;
            }
            ++read;
            const QString html = InvoiceViewHtml(*invoice);
            QVERIFY2(ExternalLoads(html).isEmpty(), qPrintable(file + QStringLiteral(": ") + ExternalLoads(html).join(QLatin1Char(' '))));
            QVERIFY(html.contains(QStringLiteral("Content-Security-Policy")));
            if (const TTermGroup* totals = invoice->Group(u"BG-22")) {
                for (const TTermValue& v : totals->Values)
                    QVERIFY2(html.contains(Shown(&v)), qPrintable(file + QLatin1Char(' ') + QLatin1String(v.Term->Id) + QLatin1Char(' ') + Shown(&v)));
            }
            for (const TTermGroup* vat : invoice->Root.AllGroups(u"BG-23")) {
                for (const char* id : {"BT-116", "BT-117"}) {
                    if (const TTermValue* v = vat->Value(QLatin1String(id)))
                        QVERIFY2(html.contains(Shown(v)), qPrintable(file + QLatin1Char(' ') + QLatin1String(id)));
                }
            }
        }
        QVERIFY(read >= 50);
        QVERIFY(refused >= 1); // the ZUGFeRD 1.0 files
    }

    void creditNote()
    {
        const TInvoice i = Fixture(QStringLiteral("ubl-gutschrift.xml"));
        QCOMPARE(i.Syntax, TInvoiceSyntax::UblCreditNote);
        QCOMPARE(i.Text(u"BT-3"), QStringLiteral("381"));
        QCOMPARE(i.Text(u"BT-9"), QStringLiteral("2026-12-14")); // a credit note's due date sits in the payment means
        QCOMPARE(i.Text(u"BT-11"), QStringLiteral("PRJ-17"));     // and its project in a document reference
        QCOMPARE(i.Text(u"BG-4/BT-31"), QStringLiteral("DE123456789"));
        QCOMPARE(i.Text(u"BG-4/BT-32"), QStringLiteral("214/5678/9012"));
        QCOMPARE(i.Text(u"BG-3/BT-25"), QStringLiteral("RE-2026-0815"));
        QCOMPARE(i.Text(u"BG-10/BT-59"), QStringLiteral("Factoring AG"));
        // Notes: the subject code in front of the text is split off.
        const auto notes = i.Root.AllGroups(u"BG-1");
        QCOMPARE(notes.size(), size_t(2));
        QCOMPARE(notes[0]->Text(u"BT-21"), QStringLiteral("AAI"));
        QCOMPARE(notes[0]->Text(u"BT-22"), QStringLiteral("Gutschrift für Rücksendung <Lieferschein 7> & Mängel"));
        QVERIFY(notes[1]->Value(u"BT-21") == nullptr);
        // Two VAT rates, an allowance and a charge on the document, one on a line.
        QCOMPARE(i.Root.AllGroups(u"BG-23").size(), size_t(2));
        QCOMPARE(i.Text(u"BG-20/BT-92"), QStringLiteral("10.00"));
        QCOMPARE(i.Text(u"BG-20/BT-98"), QStringLiteral("95"));
        QCOMPARE(i.Text(u"BG-21/BT-99"), QStringLiteral("5.00"));
        QCOMPARE(i.Text(u"BG-21/BT-103"), QStringLiteral("7"));
        const auto lines = i.Lines();
        QCOMPARE(lines.size(), size_t(2));
        QCOMPARE(lines[1]->Text(u"BT-129"), QStringLiteral("2.5"));
        QCOMPARE(lines[1]->Text(u"BT-130"), QStringLiteral("KGM"));
        QCOMPARE(lines[1]->Group(u"BG-27")->Text(u"BT-136"), QStringLiteral("6.50"));
        QCOMPARE(i.Text(u"BG-22/BT-110"), QStringLiteral("24.00"));
        // Attachments: the project reference is none of them.
        const auto documents = i.Root.AllGroups(u"BG-24");
        QCOMPARE(documents.size(), size_t(2));
        const TTermValue* file = documents[0]->Value(u"BT-125");
        QCOMPARE(file->Attribute(u"filename"), QStringLiteral("aufmass.csv"));
        QCOMPARE(file->Attribute(u"mimeCode"), QStringLiteral("text/csv"));
        QCOMPARE(documents[1]->Text(u"BT-124"), QStringLiteral("http://beispiel.example/foto.png"));

        const QString html = InvoiceViewHtml(i);
        QVERIFY(html.contains(QStringLiteral("<h1>Gutschrift GS-2026-0042</h1>")));
        QVERIFY(html.contains(QStringLiteral("Gutschrift für Rücksendung &lt;Lieferschein 7&gt; &amp; Mängel")));
        QVERIFY(html.contains(QStringLiteral("Lieferant &amp; Söhne GmbH")));
        // The attachment can be saved (its bytes in the page), the external one is text only.
        QVERIFY(html.contains(QStringLiteral("download=\"aufmass.csv\" href=\"data:text/csv;base64,UG9zO01lbmdlCjE7Mwo=\"")));
        QVERIFY(html.contains(QStringLiteral("<span class=\"text\">http://beispiel.example/foto.png</span>")));
        QVERIFY(ExternalLoads(html).isEmpty());
        for (const char* amount : {"193,50&nbsp;EUR", "188,50&nbsp;EUR", "212,50&nbsp;EUR", "17,10&nbsp;EUR", "6,90&nbsp;EUR", "2,5 kg"})
            QVERIFY2(html.contains(QString::fromUtf8(amount)), amount);
    }

    void ciiWithSubLinesAndDirectDebit()
    {
        const TInvoice i = Fixture(QStringLiteral("cii-positionen.xml"));
        QCOMPARE(i.Text(u"BT-6"), QStringLiteral("CHF"));
        // The VAT totals are told apart by their currency.
        QCOMPARE(i.Text(u"BG-22/BT-110"), QStringLiteral("234.99"));
        QCOMPARE(i.Text(u"BG-22/BT-111"), QStringLiteral("220.50"));
        QCOMPARE(i.Text(u"BG-1/BT-21"), QStringLiteral("PMT"));
        QCOMPARE(i.Text(u"BG-1/BT-22"), QStringLiteral("Bitte <b>nicht</b> bar zahlen."));
        QCOMPARE(i.Text(u"BG-16/BT-81"), QStringLiteral("59"));
        QCOMPARE(i.Text(u"BG-16/BT-83"), QStringLiteral("R-77"));
        QCOMPARE(i.Text(u"BG-16/BG-19/BT-89"), QStringLiteral("MANDAT-4711"));
        QCOMPARE(i.Text(u"BG-16/BG-19/BT-90"), QStringLiteral("DE98ZZZ09999999999"));
        QCOMPARE(i.Text(u"BG-16/BG-19/BT-91"), QStringLiteral("DE02120300000000202051"));
        QCOMPARE(i.Text(u"BG-13/BT-70"), QStringLiteral("Baustelle Nord"));
        QCOMPARE(i.Text(u"BG-13/BG-15/BT-77"), QStringLiteral("Bonn"));
        QCOMPARE(i.Text(u"BG-14/BT-74"), QStringLiteral("20261130"));
        const auto lines = i.Lines();
        QCOMPARE(lines.size(), size_t(3));
        QCOMPARE(lines[0]->Group(u"BG-28")->Text(u"BT-144"), QStringLiteral("Gerüst"));
        QCOMPARE(lines[0]->Group(u"BG-27")->Text(u"BT-138"), QStringLiteral("5"));
        QCOMPARE(lines[1]->Text(u"X-ParentLine"), QStringLiteral("10"));
        QCOMPARE(lines[1]->Group(u"BG-29")->Text(u"BT-150"), QStringLiteral("C62"));

        const QString html = InvoiceViewHtml(i);
        // The sub-line is nested under its parent, the CDATA text escaped.
        QVERIFY(html.contains(QStringLiteral("<td class=\"tiefe1\">11</td>")));
        QVERIFY(html.indexOf(QStringLiteral("Ziegel (Unterposition)")) > html.indexOf(QStringLiteral("Dachsanierung")));
        QVERIFY(html.indexOf(QStringLiteral("Ziegel (Unterposition)")) < html.indexOf(QStringLiteral("Fachbuch")));
        QVERIFY(html.contains(QStringLiteral("Bitte &lt;b&gt;nicht&lt;/b&gt; bar zahlen.")));
        // Addresses as written in Germany, whatever order the document has.
        QVERIFY(html.contains(QStringLiteral("Dachstraße 5<br>53113 Bonn<br>DE (Deutschland)")));
        QVERIFY(html.contains(QStringLiteral("2,00 % Skonto bei Zahlung innerhalb von 14 Tagen")));
        QVERIFY(html.contains(QStringLiteral("1,00 % Skonto bei Zahlung innerhalb von 30 Tagen (Basisbetrag 1.000,00 EUR)")));
        QVERIFY(html.contains(QStringLiteral("Zahlbar ohne Abzug innerhalb von 45 Tagen.")));
        QVERIFY(html.contains(QStringLiteral("MANDAT-4711")));
        QVERIFY(html.contains(QStringLiteral("220,50&nbsp;CHF")));
        QVERIFY(html.contains(QStringLiteral("download=\"dach.pdf\" href=\"data:application/pdf;base64,")));
    }

    void extensionSubLinesAndThirdPartyPayments()
    {
        const TInvoice i = Fixture(QStringLiteral("ubl-erweiterung.xml"));
        QCOMPARE(i.Text(u"BT-9"), QStringLiteral("2026-12-15"));
        QCOMPARE(i.Text(u"BG-DEX-09/BT-DEX-001"), QStringLiteral("MobilesBezahlen"));
        QCOMPARE(i.Text(u"BG-DEX-09/BT-DEX-002"), QStringLiteral("19.96"));
        const TTermGroup* line = i.Lines().front();
        const auto subs = line->AllGroups(u"BG-DEX-01");
        QCOMPARE(subs.size(), size_t(2));
        QCOMPARE(subs[1]->Text(u"BT-126"), QStringLiteral("1.2"));
        const TTermGroup* deepest = subs[1]->Group(u"BG-DEX-01");
        QVERIFY(deepest);
        QCOMPARE(deepest->Text(u"BT-129"), QStringLiteral("100"));
        QCOMPARE(deepest->Group(u"BG-31")->Text(u"BT-153"), QStringLiteral("Inland"));

        const QString html = InvoiceViewHtml(i);
        QVERIFY(html.contains(QStringLiteral("<td class=\"tiefe2\">1.2.1</td>")));
        QVERIFY(html.contains(QStringLiteral("Fremdleistungen per Mobilfunkrechnung")));
        QVERIFY(html.contains(QStringLiteral("19,96&nbsp;EUR")));
    }

    // An embedded file's Base64 text, as senders write it: with line breaks, or broken.
    void embeddedAttachments_data()
    {
        QTest::addColumn<QByteArray>("base64");
        QTest::addColumn<QByteArray>("content"); // empty: not offered
        QTest::newRow("one line") << QByteArray("UG9zO01lbmdlCjE7Mwo=") << QByteArray("Pos;Menge\n1;3\n");
        QTest::newRow("line breaks and blanks") << QByteArray("\n  UG9zO01l\r\n bmdlCjE7\tMwo=\n") << QByteArray("Pos;Menge\n1;3\n");
        QTest::newRow("two padding signs") << QByteArray("YQ==") << QByteArray("a");
        QTest::newRow("foreign character") << QByteArray("UG9zO01l*mdlCjE7Mwo=") << QByteArray();
        QTest::newRow("padding in the middle") << QByteArray("YQ==YQ==") << QByteArray();
        QTest::newRow("length not a multiple of four") << QByteArray("UG9zO01") << QByteArray();
        QTest::newRow("three padding signs") << QByteArray("Y===") << QByteArray();
        QTest::newRow("empty") << QByteArray("") << QByteArray();
    }

    void embeddedAttachments()
    {
        QFETCH(QByteArray, base64);
        QFETCH(QByteArray, content);
        QByteArray xml = ReadTestData(QStringLiteral("model/ubl-gutschrift.xml"));
        xml.replace("UG9zO01lbmdlCjE7Mwo=", base64);
        const TInvoice invoice = ReadInvoice(xml);
        const std::optional<TEmbeddedAttachment> a = EmbeddedAttachment(invoice, 1);
        const QString embedded = InvoiceViewHtml(invoice);
        const QString linked = InvoiceViewHtml(invoice, QStringLiteral("anhang/"));
        QVERIFY(!EmbeddedAttachment(invoice, 0) && !EmbeddedAttachment(invoice, 2));
        if (content.isEmpty()) {
            QVERIFY(!a || a->Content.isEmpty());
            QVERIFY(!embedded.contains(QStringLiteral("Speichern")));
            QVERIFY(!linked.contains(QStringLiteral("Speichern")));
            return;
        }
        QVERIFY(a);
        QCOMPARE(a->Content, content);
        QCOMPARE(a->FileName, QStringLiteral("aufmass.csv"));
        QCOMPARE(a->MimeCode, QStringLiteral("text/csv"));
        QVERIFY(embedded.contains(QStringLiteral("href=\"data:text/csv;base64,%1\"").arg(QString::fromLatin1(content.toBase64()))));
        QVERIFY(embedded.contains(QStringLiteral(" · %1 Bytes").arg(content.size())));
        // Linked, the page carries a link to the program instead of the bytes.
        QVERIFY(linked.contains(QStringLiteral("<a class=\"speichern\" href=\"anhang/1\">")));
        QVERIFY(!linked.contains(QStringLiteral(";base64,")));
    }

    void hostileTextIsEscaped()
    {
        QByteArray xml = ReadTestData(QStringLiteral("model/ubl-erweiterung.xml"));
        xml.replace("Funk AG", "&lt;script&gt;alert(1)&lt;/script&gt;&lt;img src=http://x.example/a.png&gt;");
        xml.replace("<cbc:PaymentMeansCode>58</cbc:PaymentMeansCode>", "<cbc:PaymentMeansCode name=\"&quot;&gt;&lt;b\">58</cbc:PaymentMeansCode>");
        const QString html = InvoiceViewHtml(ReadInvoice(xml));
        QVERIFY(!html.contains(QStringLiteral("<script")));
        QVERIFY(!html.contains(QStringLiteral("<img")));
        QVERIFY(html.contains(QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt;")));
        QVERIFY(ExternalLoads(html).isEmpty());
        QCOMPARE(ExternalLoads(QStringLiteral("<p><img alt=\"\" src=\"https://x.example/a.png\"></p>")).size(), 1); // the check sees one
    }

    void whatIsNoInvoice_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QByteArray("  \n") << QStringLiteral("Die Datei enthält kein XML: sie ist leer.");
        QTest::newRow("not well-formed") << QByteArray("<?xml version=\"1.0\"?>\n<Invoice>\n<a></b></Invoice>")
                                         << QStringLiteral("Die Rechnung ist kein wohlgeformtes XML (Zeile 3, Spalte ");
        QTest::newRow("other root") << QByteArray("<Order xmlns=\"urn:x\"/>")
                                    << QStringLiteral("Das Dokument ist keine Rechnung in UBL oder CII: Das Wurzelelement ist <Order> (urn:x).");
        QTest::newRow("root without namespace") << QByteArray("<Invoice/>")
                                                << QStringLiteral("Das Wurzelelement ist <Invoice> (ohne Namensraum).");
        QTest::newRow("ZUGFeRD 1.0") << QByteArray("<rsm:CrossIndustryDocument xmlns:rsm=\"urn:ferd:CrossIndustryDocument:invoice:1p0\"/>")
                                     << QStringLiteral("Die Rechnung ist im Format ZUGFeRD 1.0 (CrossIndustryDocument) geschrieben.");
    }

    void whatIsNoInvoice()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, message);
        const QString error = ErrorOf([&] { ReadInvoice(xml); });
        QVERIFY2(error.contains(message), qPrintable(error));
    }

    // Nothing outside the document is read: no DTD, no external entity, no network.
    void entitiesAreNotExpanded()
    {
        const QByteArray xml = "<!DOCTYPE ubl:Invoice [<!ENTITY geheim SYSTEM \"file:///etc/hostname\">]>\n"
                               "<ubl:Invoice xmlns:ubl=\"urn:oasis:names:specification:ubl:schema:xsd:Invoice-2\" "
                               "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
                               "<cbc:ID>A&geheim;B</cbc:ID></ubl:Invoice>";
        const TInvoice i = ReadInvoice(xml);
        QCOMPARE(i.Text(u"BT-1"), QStringLiteral("AB"));
    }

    void locationsOfValues()
    {
        const TInvoice i = Fixture(QStringLiteral("ubl-erweiterung.xml"));
        const TTermValue* v = i.Value(u"BT-1");
        QCOMPARE(v->Line, 7);
        const TTermGroup* line = i.Lines().front();
        QCOMPARE(line->Path(), QStringLiteral("/ubl:Invoice/cac:InvoiceLine[1]"));
        QCOMPARE(line->AllGroups(u"BG-DEX-01")[1]->Path(), QStringLiteral("/ubl:Invoice/cac:InvoiceLine[1]/cac:SubInvoiceLine[2]"));
        QCOMPARE(i.Group(u"BG-4/BG-5")->Path(), QStringLiteral("/ubl:Invoice/cac:AccountingSupplierParty[1]/cac:Party[1]/cac:PostalAddress[1]"));
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
