#include "checks/Check.h"
#include "model/Bindings.h"
#include "model/Decimal.h"
#include "model/InvoiceReader.h"
#include "model/InvoiceView.h"
#include "tests/support/InvoiceGenerator.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

namespace {

// A valid XRechnung invoice (UBL) with content in its extension: the place where a document
// may carry elements of any namespace, so the structure check does not look into it.
QByteArray WithExtension(const QByteArray& content)
{
    QByteArray xml = ReadTestData(QStringLiteral("checks/kosit-ts__01.01a-INVOICE_ubl.xml"));
    const QByteArray extension = "<ext:UBLExtensions xmlns:ext=\"" + QByteArray(NamespaceOfPrefix("ext")) + "\">"
                                 "<ext:UBLExtension><ext:ExtensionContent>" + content +
                                 "</ext:ExtensionContent></ext:UBLExtension></ext:UBLExtensions>\n    ";
    return xml.replace("<cbc:CustomizationID>", extension + "<cbc:CustomizationID>");
}

QByteArray Attributes(int count, const char* prefix = "a")
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += ' ' + QByteArray(prefix) + QByteArray::number(i) + "=\"" + QByteArray::number(i) + '"';
    return text;
}

QByteArray Declarations(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += " xmlns:n" + QByteArray::number(i) + "=\"urn:n:" + QByteArray::number(i) + '"';
    return text;
}

QByteArray Utf16le(const QByteArray& utf8)
{
    const QString text = QString::fromUtf8(utf8);
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text) {
        bytes += char(c.unicode() & 0xFF);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

// The finding the checks give a document they cannot read.
QString XmlFinding(const TCheckResult& result)
{
    for (const TCheckFinding& f : result.Findings) {
        if (f.Id == QStringLiteral("XML"))
            return f.Text;
    }
    return {};
}

// A generated CII invoice with changes, each text present in it.
QByteArray Edited(QByteArray xml, const QList<QPair<QByteArray, QByteArray>>& edits)
{
    for (const auto& [from, to] : edits) {
        if (!xml.contains(from))
            qFatal("fixture text missing: %s", from.constData());
        xml.replace(from, to);
    }
    return xml;
}

QByteArray LineId(const char* id, const char* parent = nullptr)
{
    return "<ram:LineID>" + QByteArray(id) + "</ram:LineID>" + (parent ? "<ram:ParentLineID>" + QByteArray(parent) + "</ram:ParentLineID>" : QByteArray());
}

QByteArray LineOf(int line)
{
    return "<ram:LineID>" + QByteArray::number(line) + "</ram:LineID>";
}

} // namespace

// Input from anyone: whatever a document holds, the checks never accept what is not an
// invoice, and the checks, the model and the view answer within bounded time and memory.
class TestHostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Documents that no reader may take as well-formed, or that the program refuses before
    // parsing: the checks reject them with the reason, the model and the view raise it.
    void unreadableDocuments_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("reason");
        QTest::newRow("undeclared element prefix") << WithExtension("<foo:bar>1</foo:bar>") << QStringLiteral("Namespace prefix foo on bar is not defined");
        QTest::newRow("undeclared attribute prefix") << WithExtension("<x:y xmlns:x=\"urn:x\" foo:a=\"1\">1</x:y>")
                                                     << QStringLiteral("Namespace prefix foo for a on y is not defined");
        QTest::newRow("empty namespace name") << WithExtension("<x:y xmlns:x=\"urn:x\"><z xmlns:q=\"\">1</z></x:y>")
                                              << QStringLiteral("Empty XML namespace is not allowed");
        QTest::newRow("xml prefix bound elsewhere") << WithExtension("<x:y xmlns:x=\"urn:x\" xmlns:xml=\"urn:other\">1</x:y>")
                                                    << QStringLiteral("xml namespace prefix mapped to wrong URI");
        QTest::newRow("xmlns prefix declared") << WithExtension("<x:y xmlns:x=\"urn:x\" xmlns:xmlns=\"urn:other\">1</x:y>")
                                               << QStringLiteral("redefinition of the xmlns prefix is forbidden");
        QTest::newRow("one attribute twice under two prefixes")
            << WithExtension("<x:y xmlns:x=\"urn:x\" xmlns:a=\"urn:q\" xmlns:b=\"urn:q\" a:q=\"1\" b:q=\"2\">1</x:y>")
            << QStringLiteral("Namespaced Attribute q in 'urn:q' redefined");
        QTest::newRow("UTF-16 declared as UTF-8") << Utf16le(WithExtension("<x:y xmlns:x=\"urn:x\">1</x:y>"))
                                                  << QStringLiteral("in UTF-16 geschrieben, die XML-Deklaration nennt aber UTF-8");
        QByteArray broken = Utf16le(WithExtension("<x:y xmlns:x=\"urn:x\">1</x:y>").replace("encoding=\"UTF-8\"", "encoding=\"UTF-16\""));
        broken.insert(broken.indexOf(QByteArray("<\0c\0b\0c\0:\0I\0D\0>\0", 16)), QByteArray("\0\xD8", 2)); // an unpaired surrogate
        QTest::newRow("UTF-16 with an unpaired surrogate") << broken << QStringLiteral("Die Rechnung ist kein wohlgeformtes XML");
        QTest::newRow("UTF-8 mark, declared as ISO-8859-1")
            << "\xEF\xBB\xBF" + WithExtension("<x:y xmlns:x=\"urn:x\">1</x:y>").replace("encoding=\"UTF-8\"", "encoding=\"ISO-8859-1\"")
            << QStringLiteral("Markierung für UTF-8, die XML-Deklaration nennt aber ISO-8859-1");
        QTest::newRow("257 attributes") << WithExtension("<x:y xmlns:x=\"urn:x\"" + Attributes(257) + ">1</x:y>")
                                        << QStringLiteral("Ein Element hat 257 Attribute (Zeile 5)");
        QByteArray note = ReadTestData(QStringLiteral("checks/kosit-ts__01.01a-INVOICE_ubl.xml"));
        QTest::newRow("100,000 attributes on a note") << note.replace("<cbc:Note>", "<cbc:Note" + Attributes(100000) + ">")
                                                      << QStringLiteral("Ein Element hat 100000 Attribute");
        QTest::newRow("257 namespace declarations") << WithExtension("<x:y xmlns:x=\"urn:x\"" + Declarations(257) + ">1</x:y>")
                                                    << QStringLiteral("Ein Element deklariert 258 Namensräume (Zeile 5)");
        QByteArray root = ReadTestData(QStringLiteral("checks/kosit-ts__01.01a-INVOICE_ubl.xml"));
        QTest::newRow("1,000,000 namespace declarations on the root")
            << root.replace("<ubl:Invoice ", "<ubl:Invoice" + Declarations(1000000) + ' ')
            << QStringLiteral("Ein Element deklariert 1000003 Namensräume (Zeile 2)");
        QByteArray nested;
        for (int i = 0; i < 5; ++i)
            nested += "<x:y xmlns:x=\"urn:x\"" + Declarations(250) + '>';
        nested += '1';
        for (int i = 0; i < 5; ++i)
            nested += "</x:y>";
        QTest::newRow("1,250 namespace declarations in scope") << WithExtension(nested) << QStringLiteral("Namensraum-Deklarationen zugleich");
    }

    void unreadableDocuments()
    {
        QFETCH(QByteArray, xml);
        QFETCH(QString, reason);
        TCheckResult result;
        const TCost check = CostOf([&] { result = CheckInvoiceXml(xml); });
        QCOMPARE(result.Verdict, TCheckVerdict::Reject);
        QVERIFY2(XmlFinding(result).contains(reason), qPrintable(XmlFinding(result)));
        QVERIFY2(check.Seconds < TimeBoundSeconds(2), qPrintable(QString::number(check.Seconds)));
        QVERIFY2(check.PeakMiB < MemoryBoundMiB(400), qPrintable(QString::number(check.PeakMiB)));
        const QString error = ErrorOf([&] { ReadInvoice(xml); });
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    // Next to what the program refuses, what it reads: namespaces in the extension declared
    // as they should be, as many attributes and declarations as the bound allows, UTF-16
    // declared as such.
    void readableDocuments_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::newRow("extension with declared namespaces")
            << WithExtension("<x:y xmlns:x=\"urn:x\" xmlns:a=\"urn:a\" a:q=\"1\" q=\"2\">1</x:y>");
        QTest::newRow("256 attributes and 256 declarations")
            << WithExtension("<x:y xmlns:x=\"urn:x\"" + Attributes(256) + ">" + "<x:z" + Declarations(255) + ">1</x:z></x:y>");
        QTest::newRow("attributes written as text") << WithExtension("<x:y xmlns:x=\"urn:x\"><!-- a=\"1\" b=\"2\" --><![CDATA[ c=d e=f ]]>1</x:y>");
        QTest::newRow("UTF-16 declared as UTF-16")
            << Utf16le(WithExtension("<x:y xmlns:x=\"urn:x\">1</x:y>").replace("encoding=\"UTF-8\"", "encoding=\"UTF-16\""));
    }

    void readableDocuments()
    {
        QFETCH(QByteArray, xml);
        const TCheckResult result = CheckInvoiceXml(xml);
        QVERIFY2(result.Verdict == TCheckVerdict::Accept, qPrintable(result.Findings.empty() ? QString() : result.Findings.front().Text));
        QCOMPARE(ReadInvoice(xml).Text(u"BT-1"), QStringLiteral("123456XX"));
    }

    // Large invoices, valid and with a finding on every line: the time grows with the lines
    // (a rule that walked all lines for each line, or a location that counted all siblings,
    // took minutes here).
    void largeInvoices_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("errors");
        QTest::newRow("CII, 10,000 lines") << GeneratedCiiInvoice(10000) << true << 0;
        QTest::newRow("UBL, 10,000 lines") << GeneratedUblInvoice(10000) << true << 0;
        QTest::newRow("UBL, 30,000 lines each with an unexpected element")
            << GeneratedUblInvoice(30000, TLineFault::UnexpectedElement) << false << 30000;
        QTest::newRow("CII, 30,000 lines each with an unexpected element")
            << GeneratedCiiInvoice(30000, TLineFault::UnexpectedElement) << false << 30000;
        QTest::newRow("CII, 10,000 lines each without an item name") << GeneratedCiiInvoice(10000, TLineFault::NoItemName) << false << 10000;
    }

    void largeInvoices()
    {
        QFETCH(QByteArray, xml);
        QFETCH(bool, accepted);
        QFETCH(int, errors);
        TCheckResult result;
        const TCost cost = CostOf([&] { result = CheckInvoiceXml(xml); });
        QCOMPARE(result.Accepted(), accepted);
        QCOMPARE(int(std::count_if(result.Findings.begin(), result.Findings.end(), [](const TCheckFinding& f) { return f.CountsAsError(); })),
                 errors);
        if (errors > 0) {
            // Every line's finding names its own line.
            QVERIFY2(result.Findings.back().Location.contains(QStringLiteral("[%1]").arg(errors)), qPrintable(result.Findings.back().Location));
        }
        QVERIFY2(cost.Seconds < TimeBoundSeconds(6), qPrintable(QString::number(cost.Seconds)));
        QVERIFY2(cost.PeakMiB < MemoryBoundMiB(1024), qPrintable(QString::number(cost.PeakMiB)));
    }

    // Three thousand payment means and three thousand payment references (CII keeps the
    // references beside the means, once for all): each reference is read once.
    void paymentMeansTimesReferences()
    {
        QByteArray means;
        for (int i = 0; i < 3000; ++i)
            means += "<ram:SpecifiedTradeSettlementPaymentMeans><ram:TypeCode>58</ram:TypeCode><ram:PayeePartyCreditorFinancialAccount>"
                     "<ram:IBANID>DE75512108001245126199</ram:IBANID></ram:PayeePartyCreditorFinancialAccount></ram:SpecifiedTradeSettlementPaymentMeans>";
        QByteArray references;
        for (int i = 0; i < 3000; ++i)
            references += "<ram:PaymentReference>R-" + QByteArray::number(i) + "</ram:PaymentReference>";
        const QByteArray xml = Edited(GeneratedCiiInvoice(2), {{"<ram:InvoiceCurrencyCode>", references + "<ram:InvoiceCurrencyCode>"},
                                                               {"<ram:SpecifiedTradeSettlementPaymentMeans>", means + "<ram:SpecifiedTradeSettlementPaymentMeans>"}});
        TInvoice invoice;
        QString html;
        const TCost cost = CostOf([&] {
            invoice = ReadInvoice(xml);
            html = InvoiceViewHtml(invoice);
            CheckInvoiceXml(xml);
        });
        int references_ = 0;
        for (const TTermGroup* m : invoice.Root.AllGroups(u"BG-16"))
            references_ += int(std::count_if(m->Values.begin(), m->Values.end(), [](const TTermValue& v) { return QLatin1String(v.Term->Id) == "BT-83"; }));
        QCOMPARE(invoice.Root.AllGroups(u"BG-16").size(), size_t(3001));
        QCOMPARE(references_, 3000);
        QVERIFY(html.contains(QStringLiteral("R-2999")));
        QVERIFY(html.contains(QStringLiteral("Die Rechnung nennt 3.001 Zahlungsarten; gezeigt sind die ersten 50.")));
        QVERIFY2(html.size() < 8 * 1024 * 1024, qPrintable(QString::number(html.size())));
        QVERIFY2(cost.Seconds < TimeBoundSeconds(3), qPrintable(QString::number(cost.Seconds)));
        QVERIFY2(cost.PeakMiB < MemoryBoundMiB(300), qPrintable(QString::number(cost.PeakMiB)));
    }

    // Lines that name a parent: whatever the ids say, each line is shown once, and ids that
    // do not tell (the same id twice, a line below itself) get a note.
    void linesShownOnce_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("note");
        QList<QPair<QByteArray, QByteArray>> sameId{{LineOf(1), LineId("1")}};
        for (int i = 2; i <= 6; ++i)
            sameId.append({LineOf(i), LineId("1", "1")});
        QTest::newRow("six lines with id 1, five naming 1") << 6 << Edited(GeneratedCiiInvoice(6), sameId)
                                                            << QStringLiteral("dieselbe Positionsnummer (1)");
        QList<QPair<QByteArray, QByteArray>> sameIdMany{{LineOf(1), LineId("1", "1")}};
        for (int i = 2; i <= 40; ++i)
            sameIdMany.append({LineOf(i), LineId("1", "1")});
        QTest::newRow("forty lines with id 1, all naming 1") << 40 << Edited(GeneratedCiiInvoice(40), sameIdMany)
                                                             << QStringLiteral("dieselbe Positionsnummer (1)");
        QTest::newRow("a line its own parent") << 2 << Edited(GeneratedCiiInvoice(2), {{LineOf(2), LineId("2", "2")}}) << QString();
        QTest::newRow("two lines each the other's parent")
            << 3 << Edited(GeneratedCiiInvoice(3), {{LineOf(2), LineId("2", "3")}, {LineOf(3), LineId("3", "2")}})
            << QStringLiteral("Die Positionen 2 nennen sich selbst oder eine ihrer Unterpositionen");
        QList<QPair<QByteArray, QByteArray>> chain;
        for (int i = 2; i <= 3000; ++i)
            chain.append({LineOf(i), LineOf(i) + "<ram:ParentLineID>" + QByteArray::number(i - 1) + "</ram:ParentLineID>"});
        QTest::newRow("a chain of 3,000 lines") << 3000 << Edited(GeneratedCiiInvoice(3000), chain) << QString();
    }

    void linesShownOnce()
    {
        QFETCH(int, lines);
        QFETCH(QByteArray, xml);
        QFETCH(QString, note);
        QString html;
        const TCost cost = CostOf([&] { html = InvoiceViewHtml(ReadInvoice(xml)); });
        for (int i = 1; i <= lines; ++i) {
            const QString name = QStringLiteral("<b>Artikel %1</b>").arg(i);
            QVERIFY2(html.count(name) == 1, qPrintable(name + QStringLiteral(" shown %1 times").arg(html.count(name))));
        }
        if (note.isEmpty())
            QVERIFY(!html.contains(QStringLiteral("<p class=\"hinweis\">Hinweis: ")));
        else
            QVERIFY2(html.contains(note), qPrintable(note));
        QVERIFY2(cost.Seconds < TimeBoundSeconds(2), qPrintable(QString::number(cost.Seconds)));
        QVERIFY2(cost.PeakMiB < MemoryBoundMiB(200), qPrintable(QString::number(cost.PeakMiB)));
    }

    // A page for a browser pane: of a very long invoice it shows the first ten thousand lines
    // and says so; the totals stay those of the whole invoice.
    void longInvoiceViewIsCapped()
    {
        QString html;
        const QByteArray xml = GeneratedUblInvoice(12000);
        const TCost cost = CostOf([&] { html = InvoiceViewHtml(ReadInvoice(xml)); });
        QVERIFY(html.contains(QStringLiteral("<b>Artikel 10000</b>")));
        QVERIFY(!html.contains(QStringLiteral("<b>Artikel 10001</b>")));
        QVERIFY(html.contains(QStringLiteral("Die Ansicht zeigt die ersten 10.000 von 12.000 Positionen")));
        QVERIFY(html.contains(QStringLiteral("Positionen (12000)")));
        QVERIFY2(cost.Seconds < TimeBoundSeconds(3), qPrintable(QString::number(cost.Seconds)));
    }

    // An amount is shown as written, however many digits it has, or as its text when it is
    // no number the program can hold; never as another number.
    void amountsAsWritten_data()
    {
        QTest::addColumn<QByteArray>("amount");
        QTest::addColumn<QString>("shown");
        QTest::newRow("2^126 + 1000") << QByteArray("85070591730234615865843651857942053864")
                                      << QStringLiteral("85.070.591.730.234.615.865.843.651.857.942.053.864,00&nbsp;EUR");
        QTest::newRow("38 nines") << QByteArray("99999999999999999999999999999999999999")
                                  << QStringLiteral("99.999.999.999.999.999.999.999.999.999.999.999.999,00&nbsp;EUR");
        QTest::newRow("38 digits with decimals") << QByteArray("-9999999999999999999999999999999999.9999")
                                                 << QStringLiteral("-9.999.999.999.999.999.999.999.999.999.999.999,9999&nbsp;EUR");
        QTest::newRow("39 digits") << QByteArray("850705917302346158658436518579420538640")
                                   << QStringLiteral("850705917302346158658436518579420538640&nbsp;EUR");
        QTest::newRow("40 decimals") << QByteArray("0.0000000000000000000000000000000000000001")
                                     << QStringLiteral("0.0000000000000000000000000000000000000001&nbsp;EUR");
    }

    void amountsAsWritten()
    {
        QFETCH(QByteArray, amount);
        QFETCH(QString, shown);
        const QByteArray xml = GeneratedCiiInvoice(1);
        const QByteArray due = "<ram:DuePayableAmount>";
        const qsizetype at = xml.indexOf(due) + due.size();
        QByteArray edited = xml;
        edited.replace(at, xml.indexOf('<', at) - at, amount);
        const QString html = InvoiceViewHtml(ReadInvoice(edited));
        QVERIFY2(html.contains(shown), qPrintable(shown));
    }

    void decimalsForPeople_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("german");
        QTest::newRow("38 digits, padded") << QStringLiteral("85070591730234615865843651857942053864") << 2
                                           << QStringLiteral("85.070.591.730.234.615.865.843.651.857.942.053.864,00");
        QTest::newRow("38 decimals rounded up to a whole") << QStringLiteral("0.99999999999999999999999999999999999995") << 2
                                                           << QStringLiteral("1,00");
        QTest::newRow("38 decimals, a tie away from zero") << QStringLiteral("-0.50000000000000000000000000000000000000") << 0
                                                           << QStringLiteral("-1");
        QTest::newRow("a tie of 10^38 rounded") << QStringLiteral("0.50000000000000000000000000000000000001") << 0 << QStringLiteral("1");
    }

    void decimalsForPeople()
    {
        QFETCH(QString, text);
        QFETCH(int, decimals);
        QFETCH(QString, german);
        const std::optional<TDecimal> d = TDecimal::Parse(text);
        QVERIFY(d);
        QCOMPARE(d->ToGerman(decimals), german);
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
