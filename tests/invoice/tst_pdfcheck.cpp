#include "invoice/ERechnung.h"
#include "invoice/PdfComparison.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QtTest>

namespace {

// What the pages of each hybrid sample show of its XML, decided by reading them: "same",
// or the terms they do not show ("number", "total", "due", "iban"); "-" for a PDF that is
// not compared (no XML, or no invoice the program reads).
struct TExpected
{
    const char* File;
    const char* Result;
};

const TExpected kExpected[] = {
    {"mustang__MustangGnuaccountingBeispielRE-20201121_508blanko.pdf", "-"},
    {"mustang__zugferd_invoice.pdf", "-"},
    {"s2-csharp__EN16931_Einfach_fx.pdf", "same"},
    {"s2-csharp__EN16931_Elektron.pdf", "same"},
    {"s2-csharp__EN16931_Reisekostenabrechnung.pdf", "same"},
    {"s2-csharp__MINIMUM_Rechnung.pdf", "same"},
    {"s2-csharp__XRECHNUNG_Betriebskostenabrechnung.pdf", "same"},
    {"s2-csharp__XRECHNUNG_Einfach.pdf", "same"},
    {"s2-csharp__not-embedded.pdf", "-"},
    {"s2-csharp__zugferd_2p1_EN16931_Einfach.pdf", "same"},
    {"s2-csharp__zugferd_2p1_XRECHNUNG_Einfach.pdf", "same"},
    // A lorem-ipsum page: it shows nothing of the invoice.
    {"tiime__en16931_facturx.pdf", "number total iban"},
    {"verapdf__veraPDF test suite 6-8-t02-pass-a.pdf", "-"},
    {"tiime__basic_facturx.pdf", "number total iban"},
    {"zf-corpus__Facture_FR_BASICWL.pdf", "same"},
    {"zf-corpus__MustangGnuaccountingBeispielRE-20190610_507.pdf", "same"},
    {"zf-corpus__MustangGnuaccountingBeispielRE-20190610_507a.pdf", "same"},
    {"zf-corpus__MustangGnuaccountingBeispielRE-20201121_508.pdf", "same"},
    // The pages show invoice RE-20190610/507 (with its amounts), the XML is RE-20201121/508,
    // whose amounts happen to be the same.
    {"zf-corpus__MustangGnuaccountingBeispielRE-20201121_508_withBOM.pdf", "number"},
    {"zf-corpus__RE-E-974-Hetzner_2016-01-19_R0005532486.pdf", "-"},
    {"zf-corpus__ZUGFeRD_1p0_COMFORT_Einfach.pdf", "-"},
    {"zf-corpus__acme_invoice-42_ZUGFeRD.pdf", "-"},
    {"zf-corpus__additional-data-sample-1.pdf", "-"},
    // The pages are the German test invoice RE-20190121/507; the XML a French FA-2017-0010.
    {"zf-corpus__sample_inofficial_20190125_atgp_factur-x_v_1_0.pdf", "number total due iban"},
    {"zf-corpus__zugferd_2p0_EN16931_Einfach.pdf", "same"},
    {"zf-corpus__zugferd_2p0_BASIC_Taxifahrt.pdf", "same"},
    {"zf-corpus__zugferd_2p0_EXTENDED_Rechnungskorrektur.pdf", "same"},
    {"zf-corpus__zugferd_2p1_BASIC_Rechnungskorrektur.pdf", "same"},
    {"zf-corpus__zugferd_2p1_EXTENDED_Kostenrechnung.pdf", "same"},
    {"zf-corpus__zugferd_2p1_MINIMUM_Buchungshilfe.pdf", "same"},
};

// The terms a comparison did not find, as the table names them.
QString MissingTerms(const TPdfComparison& c)
{
    if (c.State == TPdfComparison::TState::NotCompared)
        return QStringLiteral("-");
    if (c.State == TPdfComparison::TState::Same)
        return QStringLiteral("same");
    QStringList terms;
    for (const QString& m : c.Missing) {
        if (m.contains(QStringLiteral("Rechnungsnummer")))
            terms << QStringLiteral("number");
        else if (m.contains(QStringLiteral("Gesamtbetrag")))
            terms << QStringLiteral("total");
        else if (m.contains(QStringLiteral("Zahlbetrag")))
            terms << QStringLiteral("due");
        else if (m.contains(QStringLiteral("IBAN")))
            terms << QStringLiteral("iban");
    }
    return c.State == TPdfComparison::TState::Differs ? terms.join(u' ') : c.Note();
}

const QString kMustang = QStringLiteral("zf-corpus__MustangGnuaccountingBeispielRE-20201121_508.pdf");

} // namespace

// The pages of a hybrid PDF against its XML: real PDFs, and PDFs whose XML was changed.
class TestPdfCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private Q_SLOTS:
    // Every hybrid PDF of the samples, with what its pages really show.
    void samplesAsTheirPagesShow_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        for (const QString& folder : {CorpusDir(), ProfileSamplesDir()}) {
            if (folder.isEmpty())
                continue;
            for (const QString& name : QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name)) {
                QString expected = QStringLiteral("(not in the table: read its pages and add it)");
                for (const TExpected& e : kExpected) {
                    if (name == QLatin1String(e.File))
                        expected = QString::fromUtf8(e.Result);
                }
                QTest::newRow(qPrintable(name)) << folder + u'/' + name << expected;
            }
        }
        if (CorpusDir().isEmpty() && ProfileSamplesDir().isEmpty())
            QTest::newRow("no samples") << QString() << QString();
    }

    void samplesAsTheirPagesShow()
    {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        if (path.isEmpty())
            QSKIP("the samples are not there");
        TERechnung rechnung(nullptr, path);
        const TPdfComparison& c = rechnung.PdfCheck();
        QCOMPARE(MissingTerms(c), expected);
        if (c.State == TPdfComparison::TState::Same)
            QVERIFY(c.Note().contains(QStringLiteral("stimmt überein")));
    }

    // A corpus PDF whose embedded XML was changed in one term: each change is found, and the
    // same XML put back is no change.
    void changedXmlIsFound_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("missing");
        QTest::newRow("re-embedded unchanged") << QByteArray() << QByteArray() << QString();
        QTest::newRow("total and amount due")
            << QByteArray("571.04</ram:GrandTotalAmount>  \n        <ram:TotalPrepaidAmount>") << QByteArray()
            << QStringLiteral("Die PDF-Ansicht zeigt den Betrag 517,04 € (XML: Gesamtbetrag 517,04 €) nicht");
        QTest::newRow("account") << QByteArray("DE88200800000970375700") << QByteArray("DE02120300000000202051")
                                 << QStringLiteral("Die PDF-Ansicht zeigt die IBAN DE02 1203 0000 0000 2020 51 der XML nicht");
        QTest::newRow("invoice number") << QByteArray("<ram:ID>RE-20201121/508</ram:ID>") << QByteArray("<ram:ID>RE-20201121/509</ram:ID>")
                                        << QStringLiteral("Die PDF-Ansicht zeigt die Rechnungsnummer RE-20201121/509 der XML nicht");
    }

    void changedXmlIsFound()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, missing);
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        QByteArray xml = ReadFileBytes(CorpusPath(QStringLiteral("mustang__cii.xml")));
        if (from.startsWith("571.04")) {
            // The total, and with it the amount due, as another figure.
            QVERIFY(xml.contains("<ram:GrandTotalAmount>571.04</ram:GrandTotalAmount>"));
            xml.replace("<ram:GrandTotalAmount>571.04</ram:GrandTotalAmount>", "<ram:GrandTotalAmount>517.04</ram:GrandTotalAmount>");
            xml.replace("<ram:DuePayableAmount>571.04</ram:DuePayableAmount>", "<ram:DuePayableAmount>517.04</ram:DuePayableAmount>");
        } else if (!from.isEmpty()) {
            QCOMPARE(xml.count(from), 1);
            xml.replace(from, to);
        }
        const QString changed = dir.filePath(QStringLiteral("factur-x.xml"));
        WriteFileBytes(changed, xml);
        const QString pdf = dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_') + QStringLiteral(".pdf"));
        ReplaceAttachment(CorpusPath(kMustang), pdf, QStringLiteral("factur-x.xml"), changed);
        TERechnung rechnung(nullptr, pdf);
        QCOMPARE(rechnung.XmlBytes(), xml); // the changed XML is the one read
        const TPdfComparison& c = rechnung.PdfCheck();
        if (missing.isEmpty()) {
            QCOMPARE(c.State, TPdfComparison::TState::Same);
            return;
        }
        QCOMPARE(c.State, TPdfComparison::TState::Differs);
        QCOMPARE(c.Missing, QStringList{missing});
    }

    // Pages that are images only (a scan): a note that they could not be compared, no
    // warning; a page that Poppler cannot read is a note too.
    void pagesWithoutTextAreANote()
    {
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        const QString xml = dir.filePath(QStringLiteral("scan.xml"));
        WriteFileBytes(xml, ReadFileBytes(CorpusPath(QStringLiteral("mustang__cii.xml"))));
        TPdfOptions scan;
        scan.Text.clear();
        scan.PaddingBytes = 20000; // an image on the page, nothing else
        const QString page = dir.filePath(QStringLiteral("scan-page.pdf"));
        WriteMinimalPdf(page, scan);
        const QString pdf = dir.filePath(QStringLiteral("scan.pdf"));
        AddAttachments(page, pdf, {{xml, QStringLiteral("factur-x.xml"), {}, QStringLiteral("text/xml"), {}}});
        TERechnung rechnung(nullptr, pdf);
        QVERIFY(!rechnung.GetXmlData().isEmpty());
        const TPdfComparison& c = rechnung.PdfCheck();
        QCOMPARE(c.State, TPdfComparison::TState::NoText);
        QVERIFY(c.Missing.isEmpty());
        QCOMPARE(c.Note(), QStringLiteral("Die PDF-Ansicht hat keinen Text (gescannte Seiten) und konnte nicht mit der XML verglichen werden."));
    }

    // How amounts, numbers and accounts are found in a page's text.
    void textOfThePages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("missing"); // the terms not found
        const QString all = QStringLiteral("Rechnung RE-20201121/508\nGesamt 571,04 €\nIBAN DE88 2008 0000 0970 3757 00\n");
        QTest::newRow("all, German amounts") << all << "same";
        QTest::newRow("English amount") << QString(all).replace(QStringLiteral("571,04"), QStringLiteral("571.04")) << "same";
        QTest::newRow("amount split at a line end") << QString(all).replace(QStringLiteral("571,04"), QStringLiteral("571,\n04")) << "same";
        QTest::newRow("amount split into runs") << QString(all).replace(QStringLiteral("571,04"), QStringLiteral("5 71 , 04")) << "same";
        QTest::newRow("account in lower case, in one") << QString(all).replace(QStringLiteral("DE88 2008 0000 0970 3757 00"),
                                                                              QStringLiteral("de88200800000970375700")) << "same";
        QTest::newRow("account split over two lines")
            << QString(all).replace(QStringLiteral("DE88 2008 0000 0970 3757 00"), QStringLiteral("DE88 2008 0000\n0970 3757 00")) << "same";
        QTest::newRow("number split at its slash") << QString(all).replace(QStringLiteral("RE-20201121/508"), QStringLiteral("RE-20201121/\n508"))
                                                   << "same";
        QTest::newRow("amount inside a longer number")
            << QString(all).replace(QStringLiteral("571,04"), QStringLiteral("1.571,04")) << "total";
        QTest::newRow("amount with more digits") << QString(all).replace(QStringLiteral("571,04"), QStringLiteral("571,045")) << "total";
        QTest::newRow("another number that starts alike")
            << QString(all).replace(QStringLiteral("RE-20201121/508"), QStringLiteral("RE-20201121/5081")) << "number";
        QTest::newRow("another account") << QString(all).replace(QStringLiteral("3757 00"), QStringLiteral("3757 01")) << "iban";
        QTest::newRow("a quantity before the amount") << QString(all).replace(QStringLiteral("Gesamt 571,04"), QStringLiteral("2 571,04")) << "same";
    }

    void textOfThePages()
    {
        QFETCH(QString, page);
        QFETCH(QString, missing);
        if (CorpusDir().isEmpty())
            QSKIP("the sample corpus is not there");
        TERechnung rechnung(nullptr, CorpusPath(QStringLiteral("mustang__cii.xml")));
        QVERIFY(rechnung.Model());
        QCOMPARE(MissingTerms(ComparePdfText(page, *rechnung.Model())), missing);
    }

    void amountForms()
    {
        QCOMPARE(AmountForms(QStringLiteral("1234.56")),
                 (QStringList{"1.234,56", "1234,56", "1,234.56", "1234.56", "1'234.56"}));
        QCOMPARE(AmountForms(QStringLiteral("-12.5")), (QStringList{"12,5", "12.5", "12,50", "12.50"}));
        QCOMPARE(AmountForms(QStringLiteral("abc")), QStringList());
        QCOMPARE(GermanAmount(QStringLiteral("1234567.5"), QStringLiteral("EUR")), QStringLiteral("1.234.567,50 €"));
    }
};

QTEST_GUILESS_MAIN(TestPdfCheck)
#include "tst_pdfcheck.moc"
