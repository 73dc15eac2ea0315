// Loading a hybrid invoice (extraction of the embedded XML + hash), compared in the same
// run with the floor: `pdfdetach -save N` plus `md5sum` of the extracted file.

#include "bench/BenchUtil.h"
#include "invoice/ERechnung.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void Run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
}

void Measure(const QString& label, const QString& pdf, int attachment, int runs, const QString& tmp)
{
    const double ours = MedianMs(runs, [&] {
        TERechnung r(nullptr, pdf);
        if (r.GetXmlData().isEmpty())
            std::fprintf(stderr, "no XML found in %s\n", qPrintable(pdf));
    });
    const QString extracted = tmp + QStringLiteral("/extracted.xml");
    const double floor = MedianMs(runs, [&] {
        Run(QStringLiteral("pdfdetach"), {QStringLiteral("-save"), QString::number(attachment), QStringLiteral("-o"), extracted, pdf});
        Run(QStringLiteral("md5sum"), {extracted});
    });
    PrintRow(label, ours, floor);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    PrintHeader();

    if (!CorpusDir().isEmpty()) {
        // The largest hybrid PDF of the sample corpus.
        QFile manifest(CorpusPath(QStringLiteral("manifest.tsv")));
        manifest.open(QIODevice::ReadOnly);
        const QList<QByteArray> header = manifest.readLine().trimmed().split('\t');
        QString largest;
        int attachment = 0;
        qint64 size = 0;
        while (!manifest.atEnd()) {
            const QList<QByteArray> row = manifest.readLine().chopped(1).split('\t');
            if (row.value(header.indexOf("kind")) != "pdf-with-xml")
                continue;
            const qint64 bytes = row[header.indexOf("bytes")].toLongLong();
            if (bytes > size) {
                size = bytes;
                largest = QString::fromUtf8(row[header.indexOf("file")]);
                attachment = row[header.indexOf("xml_attachment_n")].toInt();
            }
        }
        Measure(QStringLiteral("corpus: %1 (%2 KB)").arg(largest.left(34)).arg(size / 1024), CorpusPath(largest),
                attachment, 30, tmp.path());
    }

    // A 20 MB PDF that carries a 5 MB XML invoice.
    const QString xml = tmp.filePath(QStringLiteral("factur-x.xml"));
    {
        QByteArray body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Invoice>\n";
        int line = 0;
        while (body.size() < 5 * 1024 * 1024) {
            ++line;
            body += "  <Line><ID>" + QByteArray::number(line) + "</ID><Name>Büromöbel Position " + QByteArray::number(line)
                + "</Name><Amount currency=\"EUR\">" + QByteArray::number(line * 7 % 1000) + ".00</Amount></Line>\n";
        }
        body += "</Invoice>\n";
        WriteFileBytes(xml, body);
    }
    const QString base = tmp.filePath(QStringLiteral("base.pdf"));
    WriteMinimalPdf(base, TPdfOptions{QStringLiteral("Gross"), FacturXXmp(QStringLiteral("factur-x.xml")), 20LL * 1024 * 1024, {}});
    const QString big = tmp.filePath(QStringLiteral("gross.pdf"));
    AddAttachments(base, big, {TPdfAttachment{xml, {}, {}, QStringLiteral("text/xml"), {}}});
    Measure(QStringLiteral("generated: %1 MB PDF, 5 MB XML attachment").arg(QFileInfo(big).size() / (1024 * 1024)), big, 1, 10,
            tmp.path());
    return 0;
}
