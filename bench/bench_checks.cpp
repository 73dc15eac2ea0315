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

// Lines of both syntaxes, valid and with a finding on every line: a tenth of the lines
// must take about a tenth of the time, and ten thousand lines less than a second.
void Series(const char* syntax, QByteArray (*generate)(int, TLineFault), TLineFault fault, const char* faultName)
{
    double previous = 0;
    for (const int lines : {1000, 10000, 100000}) {
        const QString label = QStringLiteral("%1 %2, %3 lines").arg(QLatin1String(syntax), QLatin1String(faultName)).arg(lines);
        if (!Selected(label))
            continue;
        const QByteArray xml = generate(lines, fault);
        const int runs = lines >= 100000 ? 1 : lines >= 10000 ? 3 : 11;
        TCheckResult result;
        const double ours = MedianMs(runs, [&] { result = CheckInvoiceXml(xml); });
        std::printf("%s: %s, %d findings\n", qPrintable(label), qPrintable(result.Sentence()), int(result.Findings.size()));
        PrintRow(QStringLiteral("  built-in check vs libxml2 parse (%1 KB)").arg(xml.size() / 1024), ours, ParseMs(xml, runs));
        if (lines == 10000)
            PrintRow(QStringLiteral("  built-in check vs 1 s"), ours, 1000.0);
        if (previous > 0)
            std::printf("  growth for ten times the lines: %.1fx (linear: 10x)\n", ours / previous);
        previous = ours;
    }
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
    for (const auto& [fault, name] : {std::pair{TLineFault::None, "valid"},
                                      std::pair{TLineFault::UnexpectedElement, "unexpected element on every line"},
                                      std::pair{TLineFault::NoItemName, "no item name on every line"}}) {
        Series("UBL", GeneratedUblInvoice, fault, name);
        Series("CII", GeneratedCiiInvoice, fault, name);
    }
    return 0;
}
