// The built-in checks of an invoice (scenario, structure, EN 16931 and XRechnung rules),
// median of repeated runs. The largest corpus invoice and the largest ZUGFeRD / Factur-X
// EXTENDED sample are compared with the target of 2 ms;
// each case also with libxml2 parsing the same bytes into a tree, the least any check of
// the document has to do.

#include "bench/BenchUtil.h"
#include "bench/CorpusInvoices.h"
#include "checks/Check.h"
#include "tests/support/InvoiceGenerator.h"
#include "tests/support/TestEnvironment.h"

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

// Many attributes on one element: refused by the scan before libxml2 parses, so the time
// grows with the bytes (libxml2 2.9 alone compares each attribute with all earlier ones:
// 100,000 took 25 s). The floor is libxml2 parsing the smaller document.
void Attributes()
{
    const QByteArray base = ReadTestData(QStringLiteral("checks/kosit-ts__01.01a-INVOICE_ubl.xml"));
    if (base.isEmpty() || !Selected(QStringLiteral("attributes on one element")))
        return;
    double previous = 0;
    for (const int count : {1000, 100000}) {
        QByteArray attributes;
        for (int i = 0; i < count; ++i)
            attributes += " a" + QByteArray::number(i) + "=\"" + QByteArray::number(i) + '"';
        QByteArray xml = base;
        xml.replace("<cbc:Note>", "<cbc:Note" + attributes + ">");
        TCheckResult result;
        const double ours = MedianMs(count > 1000 ? 5 : 21, [&] { result = CheckInvoiceXml(xml); });
        std::printf("%d attributes on one element: %s\n", count, qPrintable(result.Findings.front().Text.left(70)));
        if (count == 1000)
            PrintRow(QStringLiteral("  built-in check vs libxml2 parse (%1 KB)").arg(xml.size() / 1024), ours, ParseMs(xml, 21));
        else
            PrintRow(QStringLiteral("  built-in check vs 1,000 attributes (%1 KB)").arg(xml.size() / 1024), ours, previous);
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
    const TCorpusInvoices extended = LargestProfileSample(QStringLiteral("EXTENDED"));
    if (!extended.Name.isEmpty())
        Measure(QStringLiteral("largest EXTENDED sample ") + extended.Name, extended.Xml, 51, true);
    Attributes();
    for (const auto& [fault, name] : {std::pair{TLineFault::None, "valid"},
                                      std::pair{TLineFault::UnexpectedElement, "unexpected element on every line"},
                                      std::pair{TLineFault::NoItemName, "no item name on every line"}}) {
        Series("UBL", GeneratedUblInvoice, fault, name);
        Series("CII", GeneratedCiiInvoice, fault, name);
    }
    return 0;
}
