// The built-in checks of an invoice (scenario, structure, EN 16931 and XRechnung rules),
// median of repeated runs. The largest corpus invoice is compared with the target of 2 ms;
// each case also with libxml2 parsing the same bytes into a tree, the least any check of
// the document has to do.

#include "bench/BenchUtil.h"
#include "bench/CorpusInvoices.h"
#include "checks/Check.h"
#include "tests/support/InvoiceGenerator.h"

#include <libxml/parser.h>

#include <QCoreApplication>

#include <cstdio>

namespace {

constexpr double kTargetMs = 2.0;

double ParseMs(const QByteArray& xml, int runs)
{
    return MedianMs(runs, [&xml] {
        xmlDoc* doc = xmlReadMemory(xml.constData(), int(xml.size()), "rechnung.xml", nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
        xmlFreeDoc(doc);
    });
}

void Measure(const QString& label, const QByteArray& xml, int runs, bool withTarget)
{
    if (!Selected(label))
        return;
    TCheckResult result;
    const double ours = MedianMs(runs, [&] { result = CheckInvoiceXml(xml); });
    std::printf("%s: %s, %d findings\n", qPrintable(label), qPrintable(result.Sentence()), int(result.Findings.size()));
    const QString size = QStringLiteral("(%1 KB)").arg(xml.size() / 1024);
    if (withTarget)
        PrintRow(QStringLiteral("  built-in check vs target %1").arg(size), ours, kTargetMs);
    PrintRow(QStringLiteral("  built-in check vs libxml2 parse %1").arg(size), ours, ParseMs(xml, runs));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    PrintHeader();
    const TCorpusInvoices corpus = LargestCorpusInvoices();
    if (!corpus.Name.isEmpty()) {
        Measure(QStringLiteral("largest corpus invoice ") + corpus.Name, corpus.Xml, 51, true);
        Measure(QStringLiteral("largest corpus XML file ") + corpus.FileName, corpus.FileXml, 51, true);
    } else {
        std::printf("the sample corpus is not there: only the generated invoice\n");
    }
    // A tenth of the lines, to see that the time grows with the lines, not faster.
    Measure(QStringLiteral("generated invoice, 1000 lines"), GeneratedUblInvoice(1000), 21, false);
    Measure(QStringLiteral("generated invoice, 10000 lines"), GeneratedUblInvoice(10000), 9, false);
    return 0;
}
