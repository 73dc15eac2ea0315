#include "checks/Check.h"
#include "checks/Schema.h"
#include "invoice/ERechnung.h"
#include "platform/AnsiCodePage.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

#include <set>

using namespace checks;

namespace {

// The invoice bytes of a corpus file: the file itself, or a PDF's embedded invoice.
QByteArray CorpusInvoiceBytes(const QString& file)
{
    if (!file.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        return ReadFileBytes(CorpusPath(file));
    TERechnung rechnung(nullptr, CorpusPath(file));
    return AnsiEncode(rechnung.GetXmlData());
}

// The invoices the table edits are kept with the tests (tests/data/checks), so that the
// table runs also without the corpus.
QByteArray FixtureBytes(const QString& file)
{
    return ReadTestData(QStringLiteral("checks/") + file);
}

// A fixture invoice with edits: each pair is a text that must occur in it exactly once and
// its replacement.
QByteArray Edited(const QString& file, const QStringList& edits, QString& problem)
{
    QByteArray bytes = FixtureBytes(file);
    for (qsizetype i = 0; i + 1 < edits.size(); i += 2) {
        const QByteArray from = edits[i].toUtf8();
        const qsizetype at = bytes.indexOf(from);
        if (at < 0 || bytes.indexOf(from, at + 1) >= 0) {
            problem = QStringLiteral("the fixture text is not there exactly once: %1").arg(edits[i]);
            return {};
        }
        bytes.replace(at, from.size(), edits[i + 1].toUtf8());
    }
    return bytes;
}

QString VerdictName(const TCheckResult& result)
{
    switch (result.Verdict) {
    case TCheckVerdict::Accept:
        return QStringLiteral("accept");
    case TCheckVerdict::AcceptTolerated:
        return QStringLiteral("tolerated");
    case TCheckVerdict::Reject:
        break;
    case TCheckVerdict::NoScenario:
        return QStringLiteral("no-scenario");
    }
    return QStringLiteral("reject");
}

const QString kUbl = QStringLiteral("kosit-ts__01.01a-INVOICE_ubl.xml");
const QString kCii = QStringLiteral("kosit-ts__01.01a-INVOICE_uncefact.xml");

} // namespace

// The built-in checks against the official validator's answers for the sample corpus.
class TestChecks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // For every file of the validator's index: the same recommendation, and the same rules
    // reported at the levels error and warning.
    void corpusAsTheOfficialValidator_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("recommendation");
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<QStringList>("rules");
        // Without the corpus (or its index) one row without a file: skipped, or failed.
        QFile index(CorpusDir().isEmpty() ? QString() : CorpusPath(QStringLiteral("validator-reports/index.tsv")));
        if (CorpusDir().isEmpty() || !index.open(QIODevice::ReadOnly)) {
            QTest::newRow("no index") << QString() << QString() << QString() << QStringList();
            return;
        }
        const QList<QByteArray> header = index.readLine().trimmed().split('\t');
        while (!index.atEnd()) {
            const QList<QByteArray> row = index.readLine().chopped(1).split('\t');
            if (row.size() < header.size())
                continue;
            auto column = [&](const char* name) { return QString::fromUtf8(row[header.indexOf(name)]); };
            QStringList rules;
            for (const QString& rule : column("failed_asserts").split(u' ', Qt::SkipEmptyParts)) {
                if (!rule.endsWith(QStringLiteral(":information")))
                    rules << rule;
            }
            rules.sort();
            QTest::newRow(qPrintable(column("file"))) << column("file") << column("recommendation") << column("bewertung") << rules;
        }
    }

    void corpusAsTheOfficialValidator()
    {
        QFETCH(QString, file);
        QFETCH(QString, recommendation);
        QFETCH(QString, sentence);
        QFETCH(QStringList, rules);
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        QVERIFY2(!file.isEmpty(), "the corpus has no validator-reports/index.tsv");
        const TCheckResult result = CheckInvoiceXml(CorpusInvoiceBytes(file));
        std::set<QString> found;
        for (const TCheckFinding& f : result.Findings) {
            if (f.Level != TCheckLevel::Information)
                found.insert(f.Id + u':' + LevelName(f.Level));
        }
        QStringList ours(found.begin(), found.end());
        ours.sort();
        QStringList details;
        for (const TCheckFinding& f : result.Findings)
            details << f.Id + u' ' + f.Location + u' ' + f.Text.left(80);
        QVERIFY2(ours == rules, qPrintable(QStringLiteral("ours: %1\nofficial: %2\n%3").arg(ours.join(u' '), rules.join(u' '), details.join(u'\n'))));
        QCOMPARE(result.Accepted() ? QStringLiteral("accept") : QStringLiteral("reject"), recommendation);
        QCOMPARE(result.Sentence(), sentence);
    }

    // The ZUGFeRD / Factur-X samples as their profiles' published rules answer them: an
    // e-invoice profile (BASIC, EXTENDED) with the same verdict and the same rules failing
    // with flag error (schema errors are the structure's, reported by their own codes); a
    // booking aid (MINIMUM, BASIC WL) never checked as an e-invoice.
    void profileSamplesAsTheirRules_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("profile");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("schemaValid");
        QTest::addColumn<QStringList>("errors");
        QFile index(ProfileSamplesDir().isEmpty() ? QString() : ProfileSamplesDir() + QStringLiteral("/reference.tsv"));
        if (!index.open(QIODevice::ReadOnly)) {
            QTest::newRow("no samples") << QString() << QString() << false << false << QStringList();
            return;
        }
        const QList<QByteArray> header = index.readLine().trimmed().split('\t');
        while (!index.atEnd()) {
            const QList<QByteArray> row = index.readLine().chopped(1).split('\t');
            if (row.size() < header.size() - 1)
                continue;
            auto column = [&](const char* name) {
                const qsizetype at = header.indexOf(name);
                return at < row.size() ? QString::fromUtf8(row[at]) : QString();
            };
            std::set<QString> errors;
            for (const QString& rule : column("failed").trimmed().split(u' ', Qt::SkipEmptyParts)) {
                if (rule.endsWith(QStringLiteral(":error")))
                    errors.insert(rule.chopped(6));
            }
            QTest::newRow(qPrintable(column("file"))) << column("file") << column("profile") << (column("valid") == u"yes")
                                                      << (column("schema_valid") == u"yes") << QStringList(errors.begin(), errors.end());
        }
    }

    void profileSamplesAsTheirRules()
    {
        QFETCH(QString, file);
        QFETCH(QString, profile);
        QFETCH(bool, valid);
        QFETCH(bool, schemaValid);
        QFETCH(QStringList, errors);
        if (ProfileSamplesDir().isEmpty())
            QSKIP("the profile samples are not there");
        const QString path = ProfileSamplesDir() + u'/' + file;
        TERechnung rechnung(nullptr, path);
        const QByteArray xml = file.endsWith(QStringLiteral(".pdf")) ? AnsiEncode(rechnung.GetXmlData()) : ReadFileBytes(path);
        QVERIFY(!xml.isEmpty());
        QCOMPARE(rechnung.Profile(), profile);
        const TCheckResult result = CheckInvoiceXml(xml);
        if (profile == u"MINIMUM" || profile == u"BASIC-WL") {
            QCOMPARE(result.Verdict, TCheckVerdict::NoScenario);
            TServiceOptions builtIn;
            builtIn.Mode = TCheckMode::BuiltIn;
            rechnung.SetServiceOptions(builtIn);
            rechnung.Validate();
            QVERIFY(rechnung.IsSonstigeRechnung() && !rechnung.IsValid());
            return;
        }
        std::set<QString> ours;
        bool structureErrors = false;
        QStringList details;
        for (const TCheckFinding& f : result.Findings) {
            details << f.Id + u' ' + f.Location + u' ' + f.Text.left(100);
            if (!f.CountsAsError())
                continue;
            if (f.Id.startsWith(QStringLiteral("cvc-")))
                structureErrors = true;
            else
                ours.insert(f.Id);
        }
        const QString context = details.join(u'\n');
        QVERIFY2(result.Accepted() == valid, qPrintable(context));
        QVERIFY2(structureErrors == !schemaValid, qPrintable(context));
        if (schemaValid) // the rules are looked at only where the structure holds
            QCOMPARE(QStringList(ours.begin(), ours.end()), errors);
        QCOMPARE(result.Title(), QStringLiteral("Eingebaute Prüfung (Stand Factur-X 1.09, Profil %1)").arg(profile));
    }

    // Every rule of every scenario meets a document with every element its structure allows
    // (in each VAT category, so that the rules of each category look at it): none may fail
    // for want of our own code (a path it cannot compile, a step it cannot take).
    void everyRuleMeetsEveryElement_data()
    {
        QTest::addColumn<int>("syntax");
        QTest::addColumn<int>("profile");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("category");
        const QString xr = QStringLiteral("urn:cen.eu:en16931:2017#compliant#urn:xeinkauf.de:kosit:xrechnung_3.0");
        const struct
        {
            const char* Name;
            TSyntax Syntax;
            TFxProfile Profile;
            QString Rules;
        } scenarios[] = {
            {"UBL invoice, XRechnung", TSyntax::UblInvoice, TFxProfile::None, xr},
            {"UBL credit note, XRechnung", TSyntax::UblCreditNote, TFxProfile::None, xr},
            {"UBL invoice, XRechnung extension", TSyntax::UblInvoice, TFxProfile::None,
             xr + QStringLiteral("#conformant#urn:xeinkauf.de:kosit:extension:xrechnung_3.0")},
            {"UBL invoice, EN 16931", TSyntax::UblInvoice, TFxProfile::None, QStringLiteral("urn:cen.eu:en16931:2017")},
            {"CII, XRechnung", TSyntax::Cii, TFxProfile::None, xr},
            {"CII, XRechnung CVD", TSyntax::Cii, TFxProfile::None, xr + QStringLiteral("#compliant#urn:xeinkauf.de:kosit:xrechnung:cvd_0.9")},
            {"CII, EN 16931", TSyntax::Cii, TFxProfile::None, QStringLiteral("urn:cen.eu:en16931:2017")},
            {"CII, BASIC", TSyntax::Cii, TFxProfile::Basic, QStringLiteral("urn:cen.eu:en16931:2017#compliant#urn:factur-x.eu:1p0:basic")},
            {"CII, EXTENDED", TSyntax::Cii, TFxProfile::Extended,
             QStringLiteral("urn:cen.eu:en16931:2017#conformant#urn:factur-x.eu:1p0:extended")},
        };
        for (const auto& s : scenarios) {
            for (const char* category : {"S", "Z", "E", "AE", "K", "G", "O", "L", "M"})
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(s.Name), QLatin1String(category))))
                    << int(s.Syntax) << int(s.Profile) << s.Rules << QString::fromLatin1(category);
        }
    }

    void everyRuleMeetsEveryElement()
    {
        QFETCH(int, syntax);
        QFETCH(int, profile);
        QFETCH(QString, rules);
        QFETCH(QString, category);
        const QByteArray xml = ExampleDocument(TSyntax(syntax), TFxProfile(profile), [&](const QString& path) -> QString {
            if (path.endsWith(u"/cbc:CustomizationID") || path.endsWith(u"/ram:GuidelineSpecifiedDocumentContextParameter/ram:ID"))
                return rules;
            if (path.endsWith(u"TaxCategory/cbc:ID") || path.endsWith(u"/ram:CategoryCode"))
                return category;
            if (path.endsWith(u"/cac:TaxScheme/cbc:ID") || path.endsWith(u"Tax/ram:TypeCode"))
                return QStringLiteral("VAT");
            if (path.endsWith(u"TypeCode") && (path.contains(u"InvoiceTypeCode") || path.endsWith(u"ExchangedDocument/ram:TypeCode")))
                return QStringLiteral("380");
            if (path.endsWith(u"CreditNoteTypeCode"))
                return QStringLiteral("381");
            if (path.endsWith(u"PaymentMeansCode") || path.endsWith(u"PaymentMeans/ram:TypeCode"))
                return QStringLiteral("58");
            if (path.endsWith(u"CurrencyCode"))
                return QStringLiteral("EUR");
            // D16B allows the amount due also beside the totals; the rule on it reads one.
            if (path.endsWith(u"/ram:ApplicableHeaderTradeSettlement/ram:DuePayableAmount"))
                return QString::fromLatin1(kLeftOut);
            return {};
        });
        const TCheckResult result = CheckInvoiceXml(xml);
        QStringList structure;
        QStringList failed;
        for (const TCheckFinding& f : result.Findings) {
            if (f.Id.startsWith(QStringLiteral("cvc-")) || f.Id == QLatin1String("XML"))
                structure << f.Id + u' ' + f.Location + u' ' + f.Text.left(160);
            if (f.Id == QLatin1String("Prüfung") || f.Text.startsWith(QStringLiteral("Die Regel ließ sich nicht auswerten")))
                failed << f.Id + u' ' + f.Location + u' ' + f.Text.left(200);
        }
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(u'\n')));
        QVERIFY(!result.Scenario.isEmpty());
        // The document is one the rules look at: its structure holds.
        QVERIFY2(structure.isEmpty(), qPrintable(structure.mid(0, 5).join(u'\n')));
        QVERIFY(result.Findings.size() > 10); // the rules did look
    }

    // One change to a valid corpus invoice per row, and what the checks must say about it:
    // the rules that must be reported (error or warning), the rules that must not, the
    // verdict.
    void ruleFamilies_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QStringList>("reported");
        QTest::addColumn<QStringList>("notReported");
        QTest::addColumn<QString>("verdict");
        const QStringList none;
        const QString ublTotal = QStringLiteral("<cbc:LineExtensionAmount currencyID=\"EUR\">314.86</cbc:LineExtensionAmount>");
        const QString ublTaxes = QStringLiteral("<cbc:TaxAmount currencyID=\"EUR\">22.04</cbc:TaxAmount>\n        <cac:TaxSubtotal>\n"
                                                "            <cbc:TaxableAmount currencyID=\"EUR\">314.86</cbc:TaxableAmount>\n"
                                                "            <cbc:TaxAmount currencyID=\"EUR\">22.04</cbc:TaxAmount>");
        auto taxes = [](const char* amount) {
            return QStringLiteral("<cbc:TaxAmount currencyID=\"EUR\">%1</cbc:TaxAmount>\n        <cac:TaxSubtotal>\n"
                                  "            <cbc:TaxableAmount currencyID=\"EUR\">314.86</cbc:TaxableAmount>\n"
                                  "            <cbc:TaxAmount currencyID=\"EUR\">%1</cbc:TaxAmount>").arg(QLatin1String(amount));
        };
        const QString ublGross = QStringLiteral("<cbc:TaxInclusiveAmount currencyID=\"EUR\">336.9</cbc:TaxInclusiveAmount>\n"
                                                "        <cbc:PayableAmount currencyID=\"EUR\">336.9</cbc:PayableAmount>");
        auto gross = [](const char* amount) {
            return QStringLiteral("<cbc:TaxInclusiveAmount currencyID=\"EUR\">%1</cbc:TaxInclusiveAmount>\n"
                                  "        <cbc:PayableAmount currencyID=\"EUR\">%1</cbc:PayableAmount>").arg(QLatin1String(amount));
        };

        QTest::newRow("unchanged UBL") << kUbl << none << none << none << "accept";
        QTest::newRow("unchanged CII") << kCii << none << none << none << "accept";

        // The scenario: only XRechnung 3.0 (and plain EN 16931) is checked.
        QTest::newRow("scenario: another XRechnung version")
            << kUbl << QStringList{"kosit:xrechnung_3.0<", "kosit:xrechnung_2.3<"} << none << none << "no-scenario";
        QTest::newRow("scenario: not an invoice")
            << kUbl << QStringList{"<ubl:Invoice ", "<ubl:Order ", "</ubl:Invoice>", "</ubl:Order>"} << none << none << "no-scenario";

        // The structure.
        QTest::newRow("structure: unknown element")
            << kUbl << QStringList{"<cbc:ID>123456XX</cbc:ID>", "<cbc:ID>123456XX</cbc:ID><cbc:Colour>rot</cbc:Colour>"}
            << QStringList{"cvc-complex-type.2.4.a"} << none << "reject";
        QTest::newRow("structure: out of order")
            << kUbl
            << QStringList{"<cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>\n    <cbc:BuyerReference>04011000-12345-03</cbc:BuyerReference>",
                           "<cbc:BuyerReference>04011000-12345-03</cbc:BuyerReference>\n    <cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>"}
            << QStringList{"cvc-complex-type.2.4.a"} << none << "reject";
        QTest::newRow("structure: once too often")
            << kUbl << QStringList{"<cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>",
                                   "<cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode><cbc:DocumentCurrencyCode>EUR</cbc:DocumentCurrencyCode>"}
            << QStringList{"cvc-complex-type.2.4.a"} << none << "reject";
        // Elements an EN 16931 invoice should not carry: on a line (also of a credit note),
        // anywhere in the document, or as an attribute.
        QTest::newRow("syntax: line element not in EN 16931")
            << kUbl << QStringList{"<cbc:ID>Zeitschrift [...]</cbc:ID>", "<cbc:ID>Zeitschrift [...]</cbc:ID><cbc:UUID>u-1</cbc:UUID>"}
            << QStringList{"UBL-CR-515"} << none << "accept";
        QTest::newRow("syntax: credit note line element not in EN 16931")
            << QStringLiteral("zf-corpus__ubl-tc434-creditnote1.xml")
            << QStringList{"<cbc:ID>1</cbc:ID>\n\t\t<cbc:CreditedQuantity", "<cbc:ID>1</cbc:ID><cbc:UUID>u-1</cbc:UUID>\n\t\t<cbc:CreditedQuantity"}
            << QStringList{"UBL-CR-515"} << none << "accept";
        QTest::newRow("syntax: price allowance details not in EN 16931")
            << kUbl
            << QStringList{"<cbc:PriceAmount currencyID=\"EUR\">288.79</cbc:PriceAmount>",
                           "<cbc:PriceAmount currencyID=\"EUR\">288.79</cbc:PriceAmount><cac:AllowanceCharge><cbc:ChargeIndicator>false"
                           "</cbc:ChargeIndicator><cbc:MultiplierFactorNumeric>1</cbc:MultiplierFactorNumeric><cbc:Amount "
                           "currencyID=\"EUR\">0</cbc:Amount></cac:AllowanceCharge>"}
            << QStringList{"UBL-CR-671"} << QStringList{"UBL-CR-515"} << "accept";
        QTest::newRow("syntax: attribute not in EN 16931")
            << kUbl << QStringList{"<cbc:ID>Zeitschrift [...]</cbc:ID>", "<cbc:ID schemeName=\"x\">Zeitschrift [...]</cbc:ID>"}
            << QStringList{"UBL-DT-08"} << none << "accept";
        // An attachment's content is base64: groups of four, blanks between them, padding
        // only at the end and only where the bits before it end.
        const auto attachment = [](const char* content) {
            return QStringList{"    <cac:AccountingSupplierParty>",
                               QStringLiteral("    <cac:AdditionalDocumentReference><cbc:ID>A1</cbc:ID><cac:Attachment>"
                                              "<cbc:EmbeddedDocumentBinaryObject mimeCode=\"application/pdf\" filename=\"a.pdf\">%1"
                                              "</cbc:EmbeddedDocumentBinaryObject></cac:Attachment></cac:AdditionalDocumentReference>\n"
                                              "    <cac:AccountingSupplierParty>")
                                   .arg(QLatin1String(content))};
        };
        const QStringList base64Error{"cvc-datatype-valid.1.2.1"};
        QTest::newRow("base64: groups of four") << kUbl << attachment("QUJD") << none << base64Error << "accept";
        QTest::newRow("base64: blanks and padding") << kUbl << attachment(" QU JD\n\tQQ== ") << none << base64Error << "accept";
        QTest::newRow("base64: one pad") << kUbl << attachment("QUI=") << none << base64Error << "accept";
        QTest::newRow("base64: empty is base64, but an empty element")
            << kUbl << attachment("") << QStringList{"PEPPOL-EN16931-R008"} << base64Error << "reject";
        QTest::newRow("base64: a character outside") << kUbl << attachment("QU*D") << base64Error << none << "reject";
        QTest::newRow("base64: not groups of four") << kUbl << attachment("QUJ") << base64Error << none << "reject";
        QTest::newRow("base64: padding in the middle") << kUbl << attachment("QQ==QUJD") << base64Error << none << "reject";
        QTest::newRow("base64: three pads") << kUbl << attachment("Q===") << base64Error << none << "reject";
        QTest::newRow("base64: bits after the end") << kUbl << attachment("QR==") << base64Error << none << "reject";
        QTest::newRow("base64: only padding") << kUbl << attachment("====") << base64Error << none << "reject";
        QTest::newRow("structure: required element missing")
            << kUbl << QStringList{"<cbc:IssueDate>2016-04-04</cbc:IssueDate>", ""} << QStringList{"cvc-complex-type.2.4.a"} << none << "reject";
        QTest::newRow("structure: aggregate incomplete")
            << kUbl
            << QStringList{"<cbc:CompanyID>DE 123456789</cbc:CompanyID>\n                <cac:TaxScheme>\n                    <cbc:ID>VAT</cbc:ID>\n                </cac:TaxScheme>",
                           "<cbc:CompanyID>DE 123456789</cbc:CompanyID>"}
            << QStringList{"cvc-complex-type.2.4.b"} << none << "reject";
        QTest::newRow("structure: decimal comma")
            << kUbl << QStringList{"<cbc:PriceAmount currencyID=\"EUR\">26.07<", "<cbc:PriceAmount currencyID=\"EUR\">26,07<"}
            << QStringList{"cvc-datatype-valid.1.2.1", "cvc-complex-type.2.2"} << none << "reject";
        QTest::newRow("structure: impossible date")
            << kUbl << QStringList{"2016-04-04", "2016-02-30"} << QStringList{"cvc-datatype-valid.1.2.1"} << none << "reject";
        QTest::newRow("structure: amount without currency")
            << kUbl << QStringList{"<cbc:PayableAmount currencyID=\"EUR\">", "<cbc:PayableAmount>"}
            << QStringList{"cvc-complex-type.4"} << none << "reject";
        QTest::newRow("structure: unknown attribute")
            << kUbl << QStringList{"<cbc:InvoiceTypeCode>", "<cbc:InvoiceTypeCode unit=\"x\">"}
            << QStringList{"cvc-complex-type.3.2.2"} << none << "reject";
        QTest::newRow("structure: text in an aggregate")
            << kUbl << QStringList{"<cac:PaymentTerms>", "<cac:PaymentTerms>sofort"} << QStringList{"cvc-complex-type.2.3"} << none << "reject";
        QTest::newRow("structure: element without namespace (CII)")
            << kCii << QStringList{"<ram:BuyerReference>04011000-12345-03</ram:BuyerReference>", "<BuyerReference>04011000-12345-03</BuyerReference>"}
            << QStringList{"cvc-complex-type.2.4.a"} << none << "reject";
        QTest::newRow("structure: impossible date-time value (CII)")
            << kCii << QStringList{"<udt:DateTimeString format=\"102\">20160404</udt:DateTimeString>", "<udt:DateTime>2016-04-31T10:00:00</udt:DateTime>"}
            << QStringList{"cvc-datatype-valid.1.2.1", "cvc-type.3.1.3"} << none << "reject";
        // An element the schema allows whose content the check does not model: rejected,
        // never waved through unchecked.
        QTest::newRow("structure: element outside the model")
            << kUbl << QStringList{"</cac:CommodityClassification>",
                                   "</cac:CommodityClassification>\n            <cac:HazardousItem><cbc:ID>1</cbc:ID></cac:HazardousItem>"}
            << QStringList{"STRUKTUR-NICHT-GEPRUEFT"} << QStringList{"cvc-complex-type.2.4.a"} << "reject";

        // EN 16931 business rules, with the arithmetic as the rules define it.
        QTest::newRow("BR-CO-10 sum of line amounts")
            << kUbl << QStringList{ublTotal, QStringLiteral("<cbc:LineExtensionAmount currencyID=\"EUR\">314.87</cbc:LineExtensionAmount>")}
            << QStringList{"BR-CO-10"} << none << "reject";
        QTest::newRow("BR-CO-10 sum of line amounts (CII)")
            << kCii << QStringList{"<ram:LineTotalAmount>314.86</ram:LineTotalAmount>", "<ram:LineTotalAmount>314.87</ram:LineTotalAmount>"}
            << QStringList{"BR-CO-10"} << none << "reject";
        QTest::newRow("BR-CO-15 gross = net + VAT")
            << kUbl << QStringList{ublGross, gross("337.9")} << QStringList{"BR-CO-15"} << QStringList{"BR-CO-16"} << "reject";
        QTest::newRow("BR-DEC-09 two decimals at most")
            << kUbl << QStringList{ublTotal, QStringLiteral("<cbc:LineExtensionAmount currencyID=\"EUR\">314.860</cbc:LineExtensionAmount>")}
            << QStringList{"BR-DEC-09"} << QStringList{"BR-CO-10"} << "reject";
        // BR-S-08 allows the taxable amount of a rate to differ from the sum of its lines by
        // less than one currency unit.
        QTest::newRow("BR-S-08 taxable amount one unit off")
            << kUbl << QStringList{"<cbc:TaxableAmount currencyID=\"EUR\">314.86<", "<cbc:TaxableAmount currencyID=\"EUR\">315.86<"}
            << QStringList{"BR-S-08"} << none << "reject";
        QTest::newRow("BR-S-08 within the tolerance")
            << kUbl << QStringList{"<cbc:TaxableAmount currencyID=\"EUR\">314.86<", "<cbc:TaxableAmount currencyID=\"EUR\">315.85<"}
            << none << QStringList{"BR-S-08"} << "accept";
        // BR-S-09 allows the VAT amount to differ from the rounded product by less than one
        // currency unit: 1.00 off is an error, 0.99 off is not.
        QTest::newRow("BR-S-09 one unit off")
            << kUbl << QStringList{ublTaxes, taxes("23.04"), ublGross, gross("337.9")} << QStringList{"BR-S-09"} << none << "reject";
        QTest::newRow("BR-S-09 within the tolerance")
            << kUbl << QStringList{ublTaxes, taxes("23.03"), ublGross, gross("337.89")} << none << QStringList{"BR-S-09"} << "accept";
        // 0.10 + 0.20 is 0.30, and a rounded sum rounds half up (1.005 -> 1.01): decimal
        // arithmetic, not binary floating point.
        QTest::newRow("decimal sums")
            << kUbl
            << QStringList{"<cbc:LineExtensionAmount currencyID=\"EUR\">288.79<", "<cbc:LineExtensionAmount currencyID=\"EUR\">0.10<",
                           "<cbc:PriceAmount currencyID=\"EUR\">288.79<", "<cbc:PriceAmount currencyID=\"EUR\">0.10<",
                           "<cbc:LineExtensionAmount currencyID=\"EUR\">26.07<", "<cbc:LineExtensionAmount currencyID=\"EUR\">0.20<",
                           "<cbc:PriceAmount currencyID=\"EUR\">26.07<", "<cbc:PriceAmount currencyID=\"EUR\">0.20<",
                           ublTotal, "<cbc:LineExtensionAmount currencyID=\"EUR\">0.30</cbc:LineExtensionAmount>",
                           "<cbc:TaxExclusiveAmount currencyID=\"EUR\">314.86<", "<cbc:TaxExclusiveAmount currencyID=\"EUR\">0.30<",
                           ublTaxes, "<cbc:TaxAmount currencyID=\"EUR\">0.02</cbc:TaxAmount>\n        <cac:TaxSubtotal>\n"
                                     "            <cbc:TaxableAmount currencyID=\"EUR\">0.30</cbc:TaxableAmount>\n"
                                     "            <cbc:TaxAmount currencyID=\"EUR\">0.02</cbc:TaxAmount>",
                           ublGross, gross("0.32")}
            << none << none << "accept";
        QTest::newRow("rounding half up")
            << kUbl
            << QStringList{"<cbc:LineExtensionAmount currencyID=\"EUR\">288.79<", "<cbc:LineExtensionAmount currencyID=\"EUR\">288.785<",
                           "<cbc:LineExtensionAmount currencyID=\"EUR\">26.07<", "<cbc:LineExtensionAmount currencyID=\"EUR\">26.08<",
                           ublTotal, "<cbc:LineExtensionAmount currencyID=\"EUR\">314.87</cbc:LineExtensionAmount>"}
            << QStringList{"BR-DEC-23"} << QStringList{"BR-CO-10"} << "reject";
        QTest::newRow("BR-CL-04 currency code")
            << kUbl << QStringList{"<cbc:DocumentCurrencyCode>EUR<", "<cbc:DocumentCurrencyCode>EUX<"} << QStringList{"BR-CL-04"} << none << "reject";
        QTest::newRow("BR-CL-14 country code")
            << kCii << QStringList{"<ram:CountryID>DE</ram:CountryID>\n                </ram:PostalTradeAddress>\n                <ram:URIUniversalCommunication>\n                    <ram:URIID schemeID=\"EM\">seller",
                                   "<ram:CountryID>DX</ram:CountryID>\n                </ram:PostalTradeAddress>\n                <ram:URIUniversalCommunication>\n                    <ram:URIID schemeID=\"EM\">seller"}
            << QStringList{"BR-CL-14"} << none << "reject";
        // The configuration tolerates an unknown unit code.
        QTest::newRow("BR-CL-23 unit code, tolerated")
            << kUbl << QStringList{"<cbc:InvoicedQuantity unitCode=\"XPP\">1</cbc:InvoicedQuantity>\n        <cbc:LineExtensionAmount currencyID=\"EUR\">26.07<",
                                   "<cbc:InvoicedQuantity unitCode=\"QQQ\">1</cbc:InvoicedQuantity>\n        <cbc:LineExtensionAmount currencyID=\"EUR\">26.07<"}
            << QStringList{"BR-CL-23"} << none << "tolerated";

        // Syntax rules of the EN 16931 bindings.
        QTest::newRow("UBL-CR-005 UUID not used")
            << kUbl << QStringList{"<cbc:ID>123456XX</cbc:ID>", "<cbc:ID>123456XX</cbc:ID><cbc:UUID>1</cbc:UUID>"}
            << QStringList{"UBL-CR-005"} << none << "accept";

        // Intra-community supply (K) needs a delivery date or an invoice period; a period
        // with content is enough (the rule once aborted the check).
        const QString kBreakdown = QStringLiteral("<cac:TaxCategory>\n                <cbc:ID>S</cbc:ID>\n                <cbc:Percent>7</cbc:Percent>");
        const QString kBreakdownK = QStringLiteral("<cac:TaxCategory>\n                <cbc:ID>K</cbc:ID>\n                <cbc:Percent>7</cbc:Percent>");
        QTest::newRow("BR-IC-11 invoice period (K)")
            << kUbl << QStringList{kBreakdown, kBreakdownK, "<cbc:BuyerReference>04011000-12345-03</cbc:BuyerReference>",
                                   "<cbc:BuyerReference>04011000-12345-03</cbc:BuyerReference>\n    <cac:InvoicePeriod><cbc:StartDate>2016-01-01</cbc:StartDate></cac:InvoicePeriod>"}
            << QStringList{"BR-IC-10"} << QStringList{"BR-IC-11", "Prüfung"} << "reject";
        QTest::newRow("BR-IC-11 neither date nor period (K)")
            << kUbl << QStringList{kBreakdown, kBreakdownK} << QStringList{"BR-IC-11"} << QStringList{"Prüfung"} << "reject";

        // XRechnung rules.
        QTest::newRow("BR-DE-15 buyer reference")
            << kUbl << QStringList{"<cbc:BuyerReference>04011000-12345-03</cbc:BuyerReference>", ""} << QStringList{"BR-DE-15"} << none << "reject";
        QTest::newRow("BR-DE-15 buyer reference (CII)")
            << kCii << QStringList{"<ram:BuyerReference>04011000-12345-03</ram:BuyerReference>", ""} << QStringList{"BR-DE-15"} << none << "reject";
        QTest::newRow("BR-DE-19 IBAN check digits")
            << kUbl << QStringList{"DE79000000001234567890", "DE78000000001234567890"} << QStringList{"BR-DE-19"} << none << "accept";
        QTest::newRow("BR-DE-18 cash discount as agreed")
            << kUbl << QStringList{"<cbc:Note>Zahlbar sofort ohne Abzug.</cbc:Note>", "<cbc:Note>#SKONTO#TAGE=7#PROZENT=2.00#\n</cbc:Note>"}
            << none << QStringList{"BR-DE-18"} << "accept";
        QTest::newRow("BR-DE-18 cash discount malformed")
            << kUbl << QStringList{"<cbc:Note>Zahlbar sofort ohne Abzug.</cbc:Note>", "<cbc:Note>#SKONTO#TAGE=7#PROZENT=2,00#\n</cbc:Note>"}
            << QStringList{"BR-DE-18"} << none << "reject";

        // Where the official validator names another rule than the EN 16931 one.
        const QString sellerVat = QStringLiteral("            <cac:PartyTaxScheme>\n                <cbc:CompanyID>DE 123456789</cbc:CompanyID>");
        QTest::newRow("UBL-SR-13 a seller tax scheme without a tax type and a tax number")
            << kUbl
            << QStringList{sellerVat, "            <cac:PartyTaxScheme><cbc:CompanyID>201/113/40209</cbc:CompanyID><cac:TaxScheme/></cac:PartyTaxScheme>"
                                      "<cac:PartyTaxScheme><cbc:CompanyID>202/113/40209</cbc:CompanyID><cac:TaxScheme><cbc:ID>FC</cbc:ID>"
                                      "</cac:TaxScheme></cac:PartyTaxScheme>\n" + sellerVat}
            << QStringList{"UBL-SR-13"} << none << "reject";
        const QString means = QStringLiteral("    </cac:PaymentMeans>\n    <cac:PaymentTerms>");
        QTest::newRow("UBL-SR-55 a mandate in each of two payment means")
            << kUbl
            << QStringList{"</cac:PayeeFinancialAccount>",
                           "</cac:PayeeFinancialAccount><cac:PaymentMandate><cbc:ID>M1</cbc:ID></cac:PaymentMandate>",
                           means,
                           "    </cac:PaymentMeans><cac:PaymentMeans><cbc:PaymentMeansCode>58</cbc:PaymentMeansCode><cac:PaymentMandate>"
                           "<cbc:ID>M2</cbc:ID></cac:PaymentMandate></cac:PaymentMeans>\n    <cac:PaymentTerms>"}
            << QStringList{"UBL-SR-55"} << QStringList{"BR-67"} << "reject";
        QTest::newRow("UBL-CR-528 an order reference in a line's order line reference")
            << kUbl
            << QStringList{"<cbc:LineID>6171175.1</cbc:LineID>", "<cbc:LineID>6171175.1</cbc:LineID><cac:OrderReference><cbc:ID>B1</cbc:ID></cac:OrderReference>"}
            << QStringList{"UBL-CR-528"} << none << "accept";

        // Elements the schema allows and the structure check models.
        QTest::newRow("a credit account in a UBL payment means")
            << kUbl << QStringList{"</cac:PayeeFinancialAccount>", "</cac:PayeeFinancialAccount><cac:CreditAccount><cbc:AccountID>K1</cbc:AccountID></cac:CreditAccount>"}
            << none << QStringList{"STRUKTUR-NICHT-GEPRUEFT"} << "accept";
        QTest::newRow("the payer's bank in a CII payment means")
            << kCii << QStringList{"</ram:PayeePartyCreditorFinancialAccount>",
                                   "</ram:PayeePartyCreditorFinancialAccount><ram:PayerSpecifiedDebtorFinancialInstitution><ram:BICID>BANKDEFF</ram:BICID>"
                                   "</ram:PayerSpecifiedDebtorFinancialInstitution>"}
            << none << QStringList{"STRUKTUR-NICHT-GEPRUEFT"} << "accept";

        // The ZUGFeRD / Factur-X profiles: their own structure, the EN 16931 rules as the
        // profile applies them, the profile's rules; both generations of identifiers.
        const QString basic = QStringLiteral("mustang__validV2Basic.xml");
        const QString extended = QStringLiteral("mustang__Extended_SubInvoiceLines_Hardware_Bsp2.xml");
        const QString basicId = QStringLiteral("urn:cen.eu:en16931:2017#compliant#urn:factur-x.eu:1p0:basic");
        const QString extendedId = QStringLiteral("urn:cen.eu:en16931:2017#conformant#urn:factur-x.eu:1p0:extended");
        const QString currency = QStringLiteral("<ram:InvoiceCurrencyCode>EUR</ram:InvoiceCurrencyCode>");
        auto payment = [&](const char* means) { return currency + QString::fromLatin1(means); };
        QTest::newRow("BASIC as published") << basic << QStringList{} << none << QStringList{"PEPPOL-EN16931-R008"} << "accept";
        QTest::newRow("BASIC, ZUGFeRD 2.0 identifier")
            << basic << QStringList{basicId, "urn:cen.eu:en16931:2017#compliant#urn:zugferd.de:2p0:basic"} << none << none << "accept";
        QTest::newRow("BASIC, an element EN 16931 allows but the profile does not")
            << basic
            << QStringList{"<ram:Name>Grundpreis (Pauschale)</ram:Name>",
                           "<ram:SellerAssignedID>4711</ram:SellerAssignedID><ram:Name>Grundpreis (Pauschale)</ram:Name>"}
            << QStringList{"cvc-complex-type.2.4.a"} << none << "reject";
        QTest::newRow("BASIC, the same element under EN 16931")
            << basic
            << QStringList{basicId, "urn:cen.eu:en16931:2017", "<ram:Name>Grundpreis (Pauschale)</ram:Name>",
                           "<ram:SellerAssignedID>4711</ram:SellerAssignedID><ram:Name>Grundpreis (Pauschale)</ram:Name>"}
            << none << QStringList{"cvc-complex-type.2.4.a"} << "accept";
        QTest::newRow("BASIC, a date without its format")
            << basic << QStringList{"<udt:DateTimeString format=\"102\">20181030</udt:DateTimeString>", "<udt:DateTimeString>20181030</udt:DateTimeString>"}
            << QStringList{"cvc-complex-type.4"} << none << "reject";
        QTest::newRow("BASIC, a date as XML Schema value (D16B allows it, the profile not)")
            << basic << QStringList{"<udt:DateTimeString format=\"102\">20181030</udt:DateTimeString>", "<udt:DateTime>2018-10-30T00:00:00</udt:DateTime>"}
            << QStringList{"cvc-complex-type.2.4.a"} << none << "reject";
        QTest::newRow("BASIC, an attribute the profile's text has not")
            << basic << QStringList{"<ram:Name>Grundpreis (Pauschale)</ram:Name>", "<ram:Name languageID=\"de\">Grundpreis (Pauschale)</ram:Name>"}
            << QStringList{"cvc-complex-type.3.2.2"} << none << "reject";
        QTest::newRow("BASIC, an EN 16931 rule (BR-CO-10)")
            << basic << QStringList{"<ram:LineTotalAmount>16.90</ram:LineTotalAmount>", "<ram:LineTotalAmount>16.80</ram:LineTotalAmount>"}
            << QStringList{"BR-CO-10"} << none << "reject";
        QTest::newRow("CII-SR-470 credit transfer with the account")
            << basic
            << QStringList{currency, payment("<ram:SpecifiedTradeSettlementPaymentMeans><ram:TypeCode>58</ram:TypeCode>"
                                             "<ram:PayeePartyCreditorFinancialAccount><ram:IBANID>DE02120300000000202051</ram:IBANID>"
                                             "</ram:PayeePartyCreditorFinancialAccount></ram:SpecifiedTradeSettlementPaymentMeans>")}
            << none << QStringList{"CII-SR-470"} << "accept";
        QTest::newRow("CII-SR-470 credit transfer without an account")
            << basic << QStringList{currency, payment("<ram:SpecifiedTradeSettlementPaymentMeans><ram:TypeCode>58</ram:TypeCode>"
                                                      "</ram:SpecifiedTradeSettlementPaymentMeans>")}
            << QStringList{"CII-SR-470"} << none << "reject";
        QTest::newRow("CII-SR-470 credit transfer with the buyer's account")
            << basic
            << QStringList{currency, payment("<ram:SpecifiedTradeSettlementPaymentMeans><ram:TypeCode>30</ram:TypeCode>"
                                             "<ram:PayerPartyDebtorFinancialAccount><ram:IBANID>DE75512108001245126199</ram:IBANID>"
                                             "</ram:PayerPartyDebtorFinancialAccount><ram:PayeePartyCreditorFinancialAccount>"
                                             "<ram:IBANID>DE02120300000000202051</ram:IBANID></ram:PayeePartyCreditorFinancialAccount>"
                                             "</ram:SpecifiedTradeSettlementPaymentMeans>")}
            << QStringList{"CII-SR-470"} << none << "reject";
        QTest::newRow("PEPPOL-EN16931-R008 an empty element")
            << basic << QStringList{"<ram:ApplicableHeaderTradeAgreement>", "<ram:ApplicableHeaderTradeAgreement><ram:BuyerReference> </ram:BuyerReference>"}
            << QStringList{"PEPPOL-EN16931-R008"} << none << "accept";
        QTest::newRow("EXTENDED as published")
            << extended << QStringList{} << none << QStringList{"CII-SR-452", "CII-SR-408", "BR-CO-10"} << "accept";
        QTest::newRow("EXTENDED, ZUGFeRD 2.0 identifier")
            << extended << QStringList{extendedId, "urn:cen.eu:en16931:2017#conformant#urn:zugferd.de:2p0:extended"} << none << none << "accept";
        QTest::newRow("EXTENDED, a group line is not summed")
            << extended << QStringList{"<ram:LineTotalAmount>1050.00</ram:LineTotalAmount>", "<ram:LineTotalAmount>1000.00</ram:LineTotalAmount>"}
            << none << QStringList{"BR-CO-10"} << "accept";
        QTest::newRow("EXTENDED, a detail line is summed")
            << extended << QStringList{"<ram:LineTotalAmount>600.00</ram:LineTotalAmount>", "<ram:LineTotalAmount>610.00</ram:LineTotalAmount>"}
            << QStringList{"BR-CO-10", "BR-S-08"} << none << "reject";
        QTest::newRow("EXTENDED, a line kind the profile does not know")
            << extended
            << QStringList{"<ram:LineID>01</ram:LineID>\r\n        <ram:LineStatusReasonCode>GROUP</ram:LineStatusReasonCode>",
                           "<ram:LineID>01</ram:LineID>\r\n        <ram:LineStatusReasonCode>SUMME</ram:LineStatusReasonCode>"}
            << QStringList{"STRUKTUR-NICHT-GEPRUEFT"} << none << "reject";
        QTest::newRow("FX-SCH-A-001084 a package unit of Recommendation 21 without its X")
            << extended << QStringList{"<ram:BilledQuantity unitCode=\"H87\">10.00</ram:BilledQuantity>",
                                       "<ram:BilledQuantity unitCode=\"H87\">10.00</ram:BilledQuantity><ram:PackageQuantity unitCode=\"BO\">1</ram:PackageQuantity>"}
            << QStringList{"FX-SCH-A-001084"} << none << "reject";
        QTest::newRow("FX-SCH-A-001084 the same unit with its X")
            << extended << QStringList{"<ram:BilledQuantity unitCode=\"H87\">10.00</ram:BilledQuantity>",
                                       "<ram:BilledQuantity unitCode=\"H87\">10.00</ram:BilledQuantity><ram:PackageQuantity unitCode=\"XBO\">1</ram:PackageQuantity>"}
            << none << QStringList{"FX-SCH-A-001084"} << "accept";
        QTest::newRow("EXTENDED, a code whose list the check does not carry")
            << extended << QStringList{"      <ram:SellerOrderReferencedDocument>",
                                       "      <ram:ApplicableTradeDeliveryTerms><ram:DeliveryTypeCode>FOB</ram:DeliveryTypeCode>"
                                       "</ram:ApplicableTradeDeliveryTerms><ram:SellerOrderReferencedDocument>"}
            << QStringList{"STRUKTUR-NICHT-GEPRUEFT"} << none << "reject";
        QTest::newRow("EXTENDED, a logistics fee counts as a charge")
            << extended
            << QStringList{"      </ram:ApplicableTradeTax>\r\n      <ram:SpecifiedTradePaymentTerms>",
                           "      </ram:ApplicableTradeTax><ram:SpecifiedLogisticsServiceCharge><ram:Description>Fracht</ram:Description>"
                           "<ram:AppliedAmount>10.00</ram:AppliedAmount><ram:AppliedTradeTax><ram:TypeCode>VAT</ram:TypeCode>"
                           "<ram:CategoryCode>S</ram:CategoryCode><ram:RateApplicablePercent>19.00</ram:RateApplicablePercent>"
                           "</ram:AppliedTradeTax></ram:SpecifiedLogisticsServiceCharge>\r\n      <ram:SpecifiedTradePaymentTerms>"}
            << QStringList{"BR-CO-12", "BR-S-08"} << none << "reject";

        // Never accept what the check cannot read or evaluate.
        QTest::newRow("not well-formed")
            << kUbl << QStringList{"</ubl:Invoice>", "</ubl:Invoic>"} << QStringList{"XML"} << none << "reject";
        QTest::newRow("a document type declaration")
            << kUbl << QStringList{"<ubl:Invoice ", "<!DOCTYPE ubl:Invoice>\n<ubl:Invoice "} << QStringList{"XML"} << none << "reject";
        QTest::newRow("an entity that would change a text")
            << kUbl
            << QStringList{"<ubl:Invoice ", "<!DOCTYPE ubl:Invoice [<!ENTITY z \"Zeitschrift\">]>\n<ubl:Invoice ",
                           "<cbc:ID>Zeitschrift [...]</cbc:ID>", "<cbc:ID>&z; [...]</cbc:ID>"}
            << QStringList{"XML"} << none << "reject";
        QTest::newRow("a number longer than the arithmetic holds")
            << kUbl << QStringList{ublGross, gross("123456789012345678901234567890123456789012.5")} << none << none << "reject";
    }

    void ruleFamilies()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, edits);
        QFETCH(QStringList, reported);
        QFETCH(QStringList, notReported);
        QFETCH(QString, verdict);
        QString problem;
        const QByteArray xml = Edited(file, edits, problem);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const TCheckResult result = CheckInvoiceXml(xml);
        QStringList found;
        QStringList details;
        for (const TCheckFinding& f : result.Findings) {
            if (f.Level != TCheckLevel::Information)
                found << f.Id;
            details << f.Id + u' ' + f.Location + u' ' + f.Text.left(100);
        }
        const QString context = QStringLiteral("found: %1\n%2").arg(found.join(u' '), details.join(u'\n'));
        for (const QString& id : reported)
            QVERIFY2(found.contains(id), qPrintable(id + QStringLiteral(" missing; ") + context));
        for (const QString& id : notReported)
            QVERIFY2(!found.contains(id), qPrintable(id + QStringLiteral(" reported; ") + context));
        QVERIFY2(VerdictName(result) == verdict, qPrintable(VerdictName(result) + QStringLiteral(" instead of ") + verdict + u'\n' + context));
        if (verdict == QStringLiteral("accept"))
            QCOMPARE(std::count_if(result.Findings.begin(), result.Findings.end(), [](const TCheckFinding& f) { return f.CountsAsError(); }), 0);
    }
};

QTEST_GUILESS_MAIN(TestChecks)
#include "tst_checks.moc"
