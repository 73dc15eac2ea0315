// erechnung-check as a script calls it: one process for one XML invoice (start-up to the
// end of its output, against the 10 ms target; the same run also starts /bin/true and
// `erechnung-check --version`, which load and do nothing), and one process for a folder of
// about five hundred invoices (per invoice, against the 0.8 ms target). Then where the time
// of one invoice goes inside the process: loading (read, decode, hash), the built-in check
// with its report, the model, the JSON record.

#include "bench/BenchUtil.h"
#include "checks/Check.h"
#include "invoice/ERechnung.h"
#include "model/InvoiceReader.h"
#include "platform/AnsiCodePage.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

#ifndef ERECHNUNG_CHECK_EXE
#error "ERECHNUNG_CHECK_EXE names the tool"
#endif

namespace {

constexpr double kStartTargetMs = 10.0;
constexpr double kPerInvoiceTargetMs = 0.8;

double RunMs(const QString& program, const QStringList& args, int runs)
{
    return MedianMs(runs, [&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(program, args);
        if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit)
            std::fprintf(stderr, "%s failed\n", qPrintable(program));
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (CorpusDir().isEmpty()) {
        std::printf("the sample corpus is not there\n");
        return 0;
    }
    const QString tool = QStringLiteral(ERECHNUNG_CHECK_EXE);
    QStringList invoices;
    for (const QString& name : QDir(CorpusDir()).entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Name))
        invoices << CorpusPath(name);
    // About five hundred invoices: the corpus's XML invoices, each several times.
    QTemporaryDir folder;
    const int copies = std::max(1, 520 / int(invoices.size()));
    int count = 0;
    for (int c = 0; c < copies; ++c) {
        for (const QString& path : invoices)
            QFile::copy(path, folder.filePath(QStringLiteral("%1-%2").arg(c).arg(QFileInfo(path).fileName())));
        count += int(invoices.size());
    }
    const QString one = CorpusPath(QStringLiteral("kosit-ts__01.01a-INVOICE_ubl.xml"));

    PrintHeader();
    if (Selected(QStringLiteral("start"))) {
        const double single = RunMs(tool, {QStringLiteral("--json"), QStringLiteral("--offline"), one}, 41);
        PrintRow(QStringLiteral("one XML invoice, one process vs target"), single, kStartTargetMs);
        PrintRow(QStringLiteral("  --version vs /bin/true"), RunMs(tool, {QStringLiteral("--version")}, 41),
                 RunMs(QStringLiteral("/bin/true"), {}, 41));
    }
    if (Selected(QStringLiteral("folder"))) {
        const double whole = RunMs(tool, {QStringLiteral("--json"), QStringLiteral("--offline"), folder.path()}, 5);
        const double start = RunMs(tool, {QStringLiteral("--json"), QStringLiteral("--offline"), one}, 21);
        PrintRow(QStringLiteral("folder of %1 invoices, per invoice vs target").arg(count), (whole - start) / (count - 1),
                 kPerInvoiceTargetMs);
    }
    if (Selected(QStringLiteral("phases"))) {
        double load = 0, check = 0, model = 0, json = 0;
        double first[3] = {0, 0, 0};
        QElapsedTimer t;
        for (int c = 0; c < copies; ++c) {
            for (const QString& path : invoices) {
                TServiceOptions options;
                options.Mode = TCheckMode::BuiltIn;
                TERechnung r(nullptr);
                r.SetServiceOptions(options);
                t.start();
                r.LoadFromFile(path);
                load += t.nsecsElapsed() / 1e6;
                t.start();
                const QString report = r.Validate();
                check += t.nsecsElapsed() / 1e6;
                t.start();
                const TInvoice* invoice = r.Model();
                model += t.nsecsElapsed() / 1e6;
                t.start();
                QJsonObject record{{QStringLiteral("path"), path}, {QStringLiteral("hash"), r.Hash()},
                                   {QStringLiteral("validation"), report},
                                   {QStringLiteral("number"), invoice ? invoice->Text(u"BT-1") : QString()}};
                (void)QJsonDocument(record).toJson(QJsonDocument::Compact);
                json += t.nsecsElapsed() / 1e6;
                if (first[0] == 0) {
                    first[0] = load;
                    first[1] = check;
                    first[2] = model;
                }
            }
        }
        // The first invoice also makes the tables (rules, code lists, content models,
        // bindings): what a process that checks one invoice pays on top of its start.
        std::printf("first invoice of the process: load %.3f ms, check and report %.3f ms, model %.3f ms\n", first[0], first[1],
                    first[2]);
        std::printf("per invoice, in the process: load %.3f ms, check and report %.3f ms, model %.3f ms, JSON %.3f ms\n",
                    load / count, check / count, model / count, json / count);
    }
    return 0;
}
