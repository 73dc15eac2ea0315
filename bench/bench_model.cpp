// Reading an invoice into the model and making the built-in view of it, compared in the
// same run with the floor: libxml2 parsing the same bytes into a tree (and freeing it).

#include "bench/BenchUtil.h"
#include "bench/CorpusInvoices.h"
#include "model/InvoiceReader.h"
#include "model/InvoiceView.h"
#include "tests/support/InvoiceGenerator.h"
#include "tests/support/TestEnvironment.h"

#include <libxml/parser.h>

#include <QCoreApplication>

#include <cstdio>

namespace {

double Median(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Ours and the floor take turns, so that neither profits from the other's warm caches or
// freed memory more than the other.
void Measure(const QString& label, const QByteArray& xml, int runs, const QString& attachmentAddress = QStringLiteral("anhang/"))
{
    if (!Selected(label))
        return;
    QList<double> floor, ours;
    qsizetype size = 0;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer t;
        t.start();
        xmlDoc* doc = xmlReadMemory(xml.constData(), int(xml.size()), "rechnung.xml", nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
        if (!doc)
            std::fprintf(stderr, "libxml2 cannot parse %s\n", qPrintable(label));
        xmlFreeDoc(doc);
        const double f = t.nsecsElapsed() / 1e6;
        t.restart();
        {
            const TInvoice invoice = ReadInvoice(xml);
            size = InvoiceViewHtml(invoice, attachmentAddress).size();
        }
        const double o = t.nsecsElapsed() / 1e6;
        if (i > 0) { // the first round warms up
            floor << f;
            ours << o;
        }
    }
    PrintRow(QStringLiteral("%1 (%2 KB XML, %3 KB view)").arg(label).arg(xml.size() / 1024).arg(size * 2 / 1024), Median(ours),
             Median(floor));
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    PrintHeader();
    const TCorpusInvoices corpus = LargestCorpusInvoices();
    if (!corpus.Name.isEmpty()) {
        // The view as the window shows it (attachments saved by the program), and as
        // erechnung-check --view writes it (attachments carried in the page).
        Measure(QStringLiteral("largest corpus invoice: ") + corpus.Name, corpus.Xml, 25);
        Measure(QStringLiteral("the same, view with embedded attachments"), corpus.Xml, 25, QString());
        Measure(QStringLiteral("largest corpus XML file: ") + corpus.FileName, corpus.FileXml, 25);
    }
    Measure(QStringLiteral("generated invoice, 10000 lines"), GeneratedUblInvoice(10000), 9);
    return 0;
}
