#include "invoice/PopplerPages.h"
#include "invoice/ERechnung.h"
#include "invoice/EZugFerd.h"
#include "invoice/EZugFerd_Qpdf.h"
#include "platform/AnsiCodePage.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include <sys/resource.h>

using TAttachments = QList<TPdfAttachment>;
Q_DECLARE_METATYPE(TPdfAttachment)

// Finding and extracting the embedded invoice in PDFs made by the test with qpdf.
class TestZugFerd : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString plainPdf;
    QByteArray invoiceXml;

    QString File(const QString& name) const { return dir.filePath(name); }

    QString Write(const QString& name, const QByteArray& bytes) const
    {
        WriteFileBytes(File(name), bytes);
        return File(name);
    }

private Q_SLOTS:
    void initTestCase()
    {
        UsePopplerPages();
        QVERIFY(dir.isValid());
        plainPdf = File(QStringLiteral("plain.pdf"));
        WriteMinimalPdf(plainPdf);
        invoiceXml = ReadTestData(QStringLiteral("invoice-utf8.xml"));
        Write(QStringLiteral("factur-x.xml"), invoiceXml);
        Write(QStringLiteral("alt.xml"), "<?xml version=\"1.0\"?><alt/>");
        Write(QStringLiteral("bild.png"), QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(200, '\x01'));
        Write(QStringLiteral("xmlschema.pdf"), ReadFileBytes(plainPdf));
        Write(QStringLiteral("empty.xml"), QByteArray());
        Write(QStringLiteral("bom.xml"), "\xef\xbb\xbf<?xml version=\"1.0\"?><bom/>");
        Write(QStringLiteral("rechnung.dat"), "<Rechnung/>");
    }

    // An attachment that would inflate to a gigabyte is stopped at the limit: the memory of
    // the process never grows by much more than the limit. First, while the process is
    // still small, so that its high-water mark tells.
    void attachmentIsNeverInflatedPastTheLimit()
    {
        const QString pdf = File(QStringLiteral("bombe.pdf"));
        TPdfOptions o;
        o.Raw = {QStringLiteral("factur-x.xml"), DeflatedBlanks(1024LL * 1024 * 1024), 4711};
        WriteMinimalPdf(pdf, o);
        QVERIFY(QFileInfo(pdf).size() < 8 * 1024 * 1024);

        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        const QString error = ErrorOf([&] { TERechnung rechnung(nullptr, pdf); });
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        QCOMPARE(error, QStringLiteral("Die eingebettete Rechnung „factur-x.xml“ in %1 ist größer als 64 MiB und wird nicht gelesen.")
                            .arg(pdf));
        const long grownMiB = (after.ru_maxrss - before.ru_maxrss) / 1024;
        QVERIFY2(grownMiB < 3 * kMaxInvoiceXmlBytes / (1024 * 1024), qPrintable(QString::number(grownMiB)));
    }

    void attachmentSizes_data()
    {
        QTest::addColumn<qint64>("inflated");
        QTest::addColumn<qint64>("declared");
        QTest::addColumn<QString>("error");
        const qint64 limit = kMaxInvoiceXmlBytes;
        QTest::newRow("exactly the limit") << limit << limit << QString();
        QTest::newRow("one byte more, declared small") << limit + 1 << qint64(1000) << QStringLiteral("größer als 64 MiB");
        QTest::newRow("one byte more, not declared") << limit + 1 << qint64(-1) << QStringLiteral("größer als 64 MiB");
        QTest::newRow("small, declared too large") << qint64(1000) << 100 * 1024 * 1024LL << QStringLiteral("laut PDF 100.0 MiB");
        QTest::newRow("broken compressed data") << qint64(-1) << qint64(-1) << QStringLiteral("kann nicht entpackt werden");
    }

    void attachmentSizes()
    {
        QFETCH(qint64, inflated);
        QFETCH(qint64, declared);
        QFETCH(QString, error);
        const QString pdf = File(QStringLiteral("gross.pdf"));
        TPdfOptions o;
        o.Raw = {QStringLiteral("factur-x.xml"),
                 inflated < 0 ? QByteArray("\x78\x9c this is no deflate data") : DeflatedBlanks(inflated), declared};
        WriteMinimalPdf(pdf, o);
        std::unique_ptr<TERechnung> rechnung;
        const QString raised = ErrorOf([&] { rechnung = std::make_unique<TERechnung>(nullptr, pdf); });
        if (error.isEmpty()) {
            QCOMPARE(raised, QString());
            QCOMPARE(rechnung->GetXmlData().size(), inflated);
        } else {
            QVERIFY2(raised.contains(error), qPrintable(raised));
        }
    }

    void choosesTheInvoiceAttachment_data()
    {
        QTest::addColumn<TAttachments>("attachments");
        QTest::addColumn<QString>("xmp");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("number");

        const QString d = dir.path() + QLatin1Char('/');
        const TPdfAttachment picture{d + QStringLiteral("bild.png"), {}, QStringLiteral("01"), QStringLiteral("image/png"), {}};
        const TPdfAttachment facturx{d + QStringLiteral("factur-x.xml"), {}, QStringLiteral("02"), QStringLiteral("text/xml"),
                                     QStringLiteral("Factur-X Rechnung")};
        const TPdfAttachment schemaFirst{d + QStringLiteral("xmlschema.pdf"), {}, QStringLiteral("01"),
                                         QStringLiteral("application/pdf"), {}};
        const TPdfAttachment old{d + QStringLiteral("alt.xml"), {}, QStringLiteral("01"), QStringLiteral("text/xml"), {}};
        const TPdfAttachment typedOnly{d + QStringLiteral("rechnung.dat"), QStringLiteral("rechnung"), QStringLiteral("03"),
                                       QStringLiteral("application/xml"), {}};
        const TPdfAttachment described{d + QStringLiteral("rechnung.dat"), {}, QStringLiteral("02"),
                                       QStringLiteral("application/octet-stream"), QStringLiteral("Rechnungs-XML")};

        QTest::newRow("picture, then factur-x.xml") << TAttachments{picture, facturx} << QString()
                                                    << QStringLiteral("factur-x.xml") << 2;
        QTest::newRow("xmlschema.pdf before factur-x.xml") << TAttachments{schemaFirst, facturx} << QString()
                                                           << QStringLiteral("factur-x.xml") << 2;
        QTest::newRow("declared in the XMP metadata") << TAttachments{old, facturx} << FacturXXmp(QStringLiteral("factur-x.xml"))
                                                      << QStringLiteral("factur-x.xml") << 2;
        QTest::newRow("no metadata: the first .xml") << TAttachments{old, facturx} << QString()
                                                     << QStringLiteral("alt.xml") << 1;
        QTest::newRow("declared name missing: the first .xml")
            << TAttachments{old, facturx} << FacturXXmp(QStringLiteral("zugferd-invoice.xml")) << QStringLiteral("alt.xml") << 1;
        QTest::newRow("typed as XML, no extension") << TAttachments{schemaFirst, typedOnly} << QString()
                                                    << QStringLiteral("rechnung") << 2;
        QTest::newRow("only the description says xml") << TAttachments{picture, described} << QString()
                                                       << QStringLiteral("rechnung.dat") << 2;
        QTest::newRow("xml only inside another name") << TAttachments{schemaFirst} << QString()
                                                      << QStringLiteral("xmlschema.pdf") << 1;
        QTest::newRow("picture only") << TAttachments{picture} << QString() << QString() << 0;
    }

    void choosesTheInvoiceAttachment()
    {
        QFETCH(TAttachments, attachments);
        QFETCH(QString, xmp);
        QFETCH(QString, chosen);
        QFETCH(int, number);

        const QString base = File(QStringLiteral("base.pdf"));
        WriteMinimalPdf(base, TPdfOptions{QStringLiteral("Rechnung"), xmp, 0, {}});
        const QString pdf = File(QStringLiteral("hybrid.pdf"));
        AddAttachments(base, pdf, attachments);

        TEZugFerdQpdf accessor(nullptr, pdf);
        const auto found = accessor.FindXmlAttachment(true);
        QCOMPARE(found.Number, number);
        QCOMPARE(found.Name, chosen);
        QCOMPARE(accessor.IsZugFerd(), number > 0);
        if (chosen == QLatin1String("factur-x.xml"))
            QCOMPARE(AnsiEncode(accessor.ExtractFacturX()), invoiceXml);
        if (number == 0)
            QVERIFY(accessor.ExtractFacturX().isEmpty());
    }

    void bomStaysInTheText()
    {
        const QString pdf = File(QStringLiteral("bom.pdf"));
        AddAttachments(plainPdf, pdf, {TPdfAttachment{File(QStringLiteral("bom.xml")), {}, {}, QStringLiteral("text/xml"), {}}});
        TERechnung rechnung(nullptr, pdf);
        QVERIFY(rechnung.GetXmlData().startsWith(QStringLiteral("ï»¿<?xml")));
        QCOMPARE(AnsiEncode(rechnung.GetXmlData()), ReadFileBytes(File(QStringLiteral("bom.xml"))));
    }

    void pdfsWithoutInvoice_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no attachments") << QStringLiteral("none");
        QTest::newRow("empty xml attachment") << QStringLiteral("empty");
        QTest::newRow("opening password") << QStringLiteral("locked");
        QTest::newRow("not a pdf at all") << QStringLiteral("garbage");
    }

    void pdfsWithoutInvoice()
    {
        QFETCH(QString, kind);
        const QString pdf = File(QStringLiteral("ohne-") + kind + QStringLiteral(".pdf"));
        if (kind == QLatin1String("none")) {
            QFile::copy(plainPdf, pdf);
        } else if (kind == QLatin1String("empty")) {
            AddAttachments(plainPdf, pdf, {TPdfAttachment{File(QStringLiteral("empty.xml")), {}, {}, QStringLiteral("text/xml"), {}}});
        } else if (kind == QLatin1String("locked")) {
            const QString attached = File(QStringLiteral("to-lock.pdf"));
            AddAttachments(plainPdf, attached, {TPdfAttachment{File(QStringLiteral("factur-x.xml")), {}, {}, QStringLiteral("text/xml"), {}}});
            EncryptPdf(attached, pdf, QStringLiteral("geheim"), QStringLiteral("chef"));
        } else {
            WriteFileBytes(pdf, "%PDF-1.4\nthis is no pdf\n");
        }

        TERechnung rechnung(nullptr, pdf);
        QVERIFY(rechnung.IsPdf());
        QVERIFY(rechnung.GetXmlData().isEmpty());
        QCOMPARE(rechnung.Hash(), QString::fromLatin1(QCryptographicHash::hash(ReadFileBytes(pdf), QCryptographicHash::Md5).toHex()));
        QCOMPARE(rechnung.IsZugFerd(), kind == QLatin1String("empty")); // an attachment exists, but it says nothing
        QVERIFY(rechnung.Validate().contains(QStringLiteral("\"Sonstige Rechnung\"")));
        QVERIFY(rechnung.IsSonstigeRechnung());
        QCOMPARE(VerdictOf(rechnung), TVerdict::WaveThrough);
    }

    void capitalExtensionIsAPdf()
    {
        const QString pdf = File(QStringLiteral("RECHNUNG.PDF"));
        AddAttachments(plainPdf, pdf, {TPdfAttachment{File(QStringLiteral("factur-x.xml")), {}, {}, QStringLiteral("text/xml"), {}}});
        TERechnung rechnung(nullptr, pdf);
        QVERIFY(rechnung.IsPdf());
        QVERIFY(rechnung.IsZugFerd());
        QCOMPARE(AnsiEncode(rechnung.GetXmlData()), invoiceXml);
    }

    void sameXmlAsFileAndInPdfGivesTheSameHash()
    {
        const QString pdf = File(QStringLiteral("gleich.pdf"));
        AddAttachments(plainPdf, pdf, {TPdfAttachment{File(QStringLiteral("factur-x.xml")), {}, {}, QStringLiteral("text/xml"), {}}});
        TERechnung fromPdf(nullptr, pdf);
        TERechnung fromFile(nullptr, File(QStringLiteral("factur-x.xml")));
        QCOMPARE(fromPdf.GetXmlData(), fromFile.GetXmlData());
        QCOMPARE(fromPdf.Hash(), fromFile.Hash());
    }

    void sidecarXmlIsLeftAlone()
    {
        const QString pdf = File(QStringLiteral("beleg.pdf"));
        AddAttachments(plainPdf, pdf, {TPdfAttachment{File(QStringLiteral("factur-x.xml")), {}, {}, QStringLiteral("text/xml"), {}}});
        const QString sidecar = Write(QStringLiteral("beleg.xml"), "<nicht-anfassen/>");
        const QDateTime before = QFileInfo(sidecar).lastModified();
        TERechnung rechnung(nullptr, pdf);
        QCOMPARE(ReadFileBytes(sidecar), QByteArray("<nicht-anfassen/>"));
        QCOMPARE(QFileInfo(sidecar).lastModified(), before);
    }

    void rendersPagesAt72Dpi()
    {
        TERechnung rechnung(nullptr, plainPdf);
        QImage image(595, 842, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        rechnung.RenderPDFPage(1, &painter);
        rechnung.RenderPDFPage(7, &painter); // beyond the last page: nothing, no failure
        rechnung.RenderPDFPage(0, nullptr);
        painter.end();
        QCOMPARE(image.pixelColor(590, 5), QColor(Qt::white)); // the page was drawn, A4 at 72 dpi
    }
};

QTEST_GUILESS_MAIN(TestZugFerd)
#include "tst_zugferd.moc"
