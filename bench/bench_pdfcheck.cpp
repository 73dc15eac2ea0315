// The comparison of a hybrid PDF's pages with its XML (read the pages' text, look for the
// invoice number, amounts and accounts) for the largest hybrid PDF of the corpus and a
// generated one of 200 pages, next to pdftotext of the same file (a process of its own,
// the floor) and to loading the invoice from the PDF.

#include "bench/BenchUtil.h"
#include "invoice/ERechnung.h"
#include "invoice/PdfComparison.h"
#include "tests/support/PdfFixture.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void Measure(const QString& label, const QString& path)
{
    TERechnung rechnung(nullptr, path);
    const TInvoice* invoice = rechnung.Model();
    if (!invoice) {
        std::printf("%s: no invoice\n", qPrintable(label));
        return;
    }
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QByteArray pdf = file.readAll();
    TPdfComparison result;
    const double ours = MedianMs(11, [&] { result = ComparePdfWithInvoice(pdf, *invoice); });
    const double pdftotext = MedianMs(11, [&] {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
        p.waitForFinished(-1);
        p.readAllStandardOutput();
    });
    const double load = MedianMs(11, [&] { TERechnung r(nullptr, path); });
    std::printf("%s (%lld KB): %s\n", qPrintable(label), QFileInfo(path).size() / 1024, qPrintable(result.Note().left(90)));
    PrintRow(QStringLiteral("  comparison vs pdftotext of the file"), ours, pdftotext);
    PrintRow(QStringLiteral("  comparison vs loading the invoice from it"), ours, load);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (CorpusDir().isEmpty()) {
        std::printf("the sample corpus is not there\n");
        return 0;
    }
    PrintHeader();
    // The largest hybrid PDF of the corpus that holds an invoice.
    QString largest;
    qint64 size = 0;
    for (const QFileInfo& f : QDir(CorpusDir()).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files)) {
        if (f.size() <= size)
            continue;
        TERechnung r(nullptr, f.filePath());
        if (!r.GetXmlData().isEmpty() && r.Model()) {
            largest = f.filePath();
            size = f.size();
        }
    }
    Measure(QStringLiteral("largest corpus hybrid PDF ") + QFileInfo(largest).fileName(), largest);

    QTemporaryDir dir;
    const QString source = CorpusPath(QStringLiteral("zf-corpus__MustangGnuaccountingBeispielRE-20201121_508.pdf"));
    const QString pages = dir.filePath(QStringLiteral("seiten.pdf"));
    RepeatPages(source, pages, 200);
    const QString xml = dir.filePath(QStringLiteral("factur-x.xml"));
    WriteFileBytes(xml, ReadFileBytes(CorpusPath(QStringLiteral("mustang__cii.xml"))));
    const QString big = dir.filePath(QStringLiteral("200-seiten.pdf"));
    AddAttachments(pages, big, {{xml, QStringLiteral("factur-x.xml"), {}, QStringLiteral("text/xml"), {}}});
    Measure(QStringLiteral("generated hybrid PDF of 200 pages"), big);
    return 0;
}
