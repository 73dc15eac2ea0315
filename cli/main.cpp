// erechnung-check: the invoice checks of the program without its window, for scripts.

#include "invoice/ERechnung.h"
#include "model/Invoice.h"
#include "model/InvoiceReader.h"
#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "workflow/EHistory.h"
#include "workflow/HistoryExport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const char* kDescription = R"(Prüft E-Rechnungen ohne Fenster, mit demselben Kern wie das Programm.

Für jede Datei (ein Ordner steht für seine Dateien, eine Ebene tief) wird die Rechnung
geladen: eine PDF-Datei (Endung .pdf, beliebige Schreibweise) wird nach der eingebetteten
XML-Rechnung (ZUGFeRD / Factur-X) durchsucht, jede andere Datei als XML-Rechnung gelesen.
Ausgegeben werden die Art (XML-Rechnung, hybride PDF, PDF ohne XML), der Hash (MD5 der
Rechnung), der Kurz-Hash und der Ablagename, unter dem das Programm die Datei ablegt.

Mit --validate wird die Rechnung an den Validierungsdienst geschickt; ausgegeben werden
das Urteil, wie das Programm es farbig zeigt (annehmen, ablehnen, durchwinken bei einer
PDF ohne XML), und der Prüfbericht. Mit --render wird die Darstellung des
Rendering-Dienstes als <Ablagename>.html in den angegebenen Ordner geschrieben (ohne
Dienst: die eingebaute Ansicht), mit --view die eingebaute Ansicht, ganz ohne Netz.
Mit --offline prüft die eingebaute Prüfung (Stand XRechnung 3.0.2) statt des Dienstes,
ganz ohne Netz (auch --render schreibt dann die eingebaute Ansicht); ausgegeben werden
das Urteil und die Befunde.

--json gibt je Datei eine Zeile mit einem JSON-Objekt aus (JSON Lines), Felder:
  path, kind ("xml" | "hybrid-pdf" | "pdf-without-xml"), hash, short_hash, archive_name,
  xml_bytes, invoice (die wichtigsten Angaben der Rechnung: number, issue_date,
  type_code, currency, seller_name, seller_vat_id, buyer_name, buyer_reference,
  total_without_vat, total_with_vat, amount_due, ibans, line_count; null wenn die
  XML keine UBL- oder CII-Rechnung ist, dann mit invoice_error), profile (das Profil,
  das die Kennung der Regeln nennt: "XRECHNUNG" | "EN16931" | "EXTENDED" | "BASIC" |
  "BASIC-WL" | "MINIMUM" | "ZUGFERD-1", sonst null),
  verdict ("accept" | "reject" | "wave-through", nur mit --validate),
  validation (Text des Prüfberichts, nur mit --validate), checked_by ("service" |
  "built-in", null bei einer PDF ohne XML; nur mit --validate oder --offline),
  findings (die Befunde der Prüfung, die entschieden hat, je {id, level, location,
  text}, level "error" | "warning" | "information"; nur mit --validate oder --offline),
  pdf_check (nur bei einer hybriden PDF: {state, note}, state "same" | "differs" |
  "no-text" | "unreadable": ob die PDF-Seiten Rechnungsnummer, Beträge und IBAN der XML
  zeigen), warnings (je {id, text}: id "same-invoice" für dieselbe Rechnung in anderer
  Form, schon entschieden, "decided-before" für dieselbe Rechnung (dieselben Bytes), schon
  entschieden, "new-account" für eine neue Bankverbindung eines bekannten
  Lieferanten, "pdf-differs" für eine Angabe der XML, die die PDF-Seiten nicht zeigen),
  error (Meldung oder null).

Mit --history werden statt der Prüfung die Entscheidungen des Verlaufs ausgegeben,
neueste zuerst (mit --search nur die passenden, mit --json als JSON Lines); mit
--csv FILE als CSV-Datei für Excel. --history-file nennt die Verlaufsdatei (Standard:
die des Programms); der Verlauf wird nur gelesen.

Rückgabewert: 0 wenn jede Datei geladen wurde (und mit --validate oder --offline keine
abzulehnen ist),
1 wenn eine Rechnung abzulehnen ist, 2 bei jedem Fehler. Eine Datei mit Fehler hält die
übrigen nicht auf.)";

struct TOptions
{
    bool Validate = false; // also with --offline, then by the built-in checks
    bool Json = false;
    QString HistoryFile;
    QString RenderDir;
    QString ViewDir;
    TServiceOptions Service;
};

enum TOutcome { Ok = 0, Reject = 1, Failed = 2 };

QString KindOf(const TERechnung& r)
{
    if (!r.IsPdf())
        return QStringLiteral("xml");
    return r.GetXmlData().isEmpty() ? QStringLiteral("pdf-without-xml") : QStringLiteral("hybrid-pdf");
}

QString KindText(const QString& kind)
{
    if (kind == QLatin1String("hybrid-pdf"))
        return QStringLiteral("hybride PDF (ZUGFeRD / Factur-X)");
    if (kind == QLatin1String("pdf-without-xml"))
        return QStringLiteral("PDF ohne XML (Sonstige Rechnung)");
    return QStringLiteral("XML-Rechnung");
}

QString VerdictKey(TVerdict v)
{
    switch (v) {
    case TVerdict::Accept:
        return QStringLiteral("accept");
    case TVerdict::WaveThrough:
        return QStringLiteral("wave-through");
    case TVerdict::Reject:
        break;
    }
    return QStringLiteral("reject");
}

QJsonValue CheckedByJson(TCheckedBy by)
{
    switch (by) {
    case TCheckedBy::Service:
        return QStringLiteral("service");
    case TCheckedBy::BuiltIn:
        return QStringLiteral("built-in");
    case TCheckedBy::Nobody:
        break;
    }
    return QJsonValue(QJsonValue::Null);
}

QJsonArray FindingsJson(const std::vector<TReportMessage>& findings)
{
    QJsonArray list;
    for (const TReportMessage& f : findings)
        list.append(QJsonObject{{QStringLiteral("id"), f.Id},
                                {QStringLiteral("level"), f.Level},
                                {QStringLiteral("location"), f.Location},
                                {QStringLiteral("text"), f.Text}});
    return list;
}

QString VerdictText(TVerdict v)
{
    switch (v) {
    case TVerdict::Accept:
        return QStringLiteral("annehmen");
    case TVerdict::WaveThrough:
        return QStringLiteral("durchwinken");
    case TVerdict::Reject:
        break;
    }
    return QStringLiteral("ablehnen");
}

// The main terms of the invoice for scripts: what a bookkeeper looks at first.
QJsonValue InvoiceJson(const TInvoice* invoice)
{
    if (!invoice)
        return QJsonValue(QJsonValue::Null);
    auto text = [invoice](const char* path) {
        const QString t = invoice->Text(QLatin1String(path)).trimmed();
        return t.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(t);
    };
    QJsonArray ibans;
    for (const QString& iban : invoice->Ibans())
        ibans.append(iban);
    return QJsonObject{
        {QStringLiteral("syntax"), invoice->SyntaxName()},
        {QStringLiteral("number"), text("BT-1")},
        {QStringLiteral("issue_date"), text("BT-2")},
        {QStringLiteral("type_code"), text("BT-3")},
        {QStringLiteral("currency"), text("BT-5")},
        {QStringLiteral("seller_name"), text("BG-4/BT-27")},
        {QStringLiteral("seller_vat_id"), text("BG-4/BT-31")},
        {QStringLiteral("buyer_name"), text("BG-7/BT-44")},
        {QStringLiteral("buyer_reference"), text("BT-10")},
        {QStringLiteral("total_without_vat"), text("BG-22/BT-109")},
        {QStringLiteral("total_with_vat"), text("BG-22/BT-112")},
        {QStringLiteral("amount_due"), text("BG-22/BT-115")},
        {QStringLiteral("ibans"), ibans},
        {QStringLiteral("line_count"), qint64(invoice->Lines().size())},
    };
}

void WriteRendering(const QString& dir, const TERechnung& r, const QString& html)
{
    const QString target = JoinPath(dir, r.FileName() + QStringLiteral(".html"));
    const QString error = WriteFileReplacing(target, html.toUtf8());
    if (!error.isEmpty())
        throw Exception(QStringLiteral("In %1 kann nicht geschrieben werden: %2").arg(DisplayFileName(target), error));
}

QJsonArray HistoryWarnings(TERechnung& rechnung, const QString& historyFile);

QString PdfStateKey(TPdfComparison::TState state)
{
    switch (state) {
    case TPdfComparison::TState::Same:
        return QStringLiteral("same");
    case TPdfComparison::TState::Differs:
        return QStringLiteral("differs");
    case TPdfComparison::TState::NoText:
        return QStringLiteral("no-text");
    case TPdfComparison::TState::Unreadable:
        return QStringLiteral("unreadable");
    case TPdfComparison::TState::NotCompared:
        break;
    }
    return QStringLiteral("not-compared");
}

TOutcome CheckOne(const QString& path, const TOptions& options, QTextStream& out)
{
    QJsonObject record{{QStringLiteral("path"), DisplayFileName(path)}};
    TOutcome outcome = Ok;
    TERechnung rechnung(nullptr);
    rechnung.SetServiceOptions(options.Service);
    QString verdict;
    QString validation;
    QString error;
    try {
        rechnung.LoadFromFile(path);
        const QString kind = KindOf(rechnung);
        record.insert(QStringLiteral("kind"), kind);
        record.insert(QStringLiteral("hash"), rechnung.Hash());
        record.insert(QStringLiteral("short_hash"), rechnung.ShortHash());
        record.insert(QStringLiteral("archive_name"), DisplayFileName(rechnung.FileName()));
        record.insert(QStringLiteral("xml_bytes"), rechnung.XmlBytes().size());
        if (options.Validate) {
            validation = rechnung.Validate();
            const TVerdict v = VerdictOf(rechnung);
            verdict = VerdictText(v);
            record.insert(QStringLiteral("verdict"), VerdictKey(v));
            record.insert(QStringLiteral("validation"), validation);
            record.insert(QStringLiteral("checked_by"), CheckedByJson(rechnung.CheckedBy()));
            record.insert(QStringLiteral("findings"), FindingsJson(rechnung.Findings()));
            if (v == TVerdict::Reject)
                outcome = Reject;
        }
        const QString profile = rechnung.Profile();
        record.insert(QStringLiteral("profile"), profile.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(profile));
        if (!rechnung.GetXmlData().isEmpty()) {
            const TInvoice* invoice = rechnung.Model();
            record.insert(QStringLiteral("invoice"), InvoiceJson(invoice));
            if (!invoice)
                record.insert(QStringLiteral("invoice_error"), rechnung.ModelError());
        }
        QJsonArray warnings = HistoryWarnings(rechnung, options.HistoryFile);
        const TPdfComparison& pdf = rechnung.PdfCheck();
        if (pdf.State != TPdfComparison::TState::NotCompared) {
            record.insert(QStringLiteral("pdf_check"), QJsonObject{{QStringLiteral("state"), PdfStateKey(pdf.State)},
                                                                   {QStringLiteral("note"), pdf.Note()}});
            for (const QString& missing : pdf.Missing)
                warnings.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("pdf-differs")}, {QStringLiteral("text"), missing}});
        }
        record.insert(QStringLiteral("warnings"), warnings);
        if (!options.ViewDir.isEmpty())
            WriteRendering(options.ViewDir, rechnung, rechnung.RenderBuiltIn());
        if (!options.RenderDir.isEmpty())
            WriteRendering(options.RenderDir, rechnung, rechnung.Render());
    } catch (...) {
        error = CurrentExceptionMessage();
        outcome = Failed;
    }
    record.insert(QStringLiteral("error"), error.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(error));

    if (options.Json) {
        out << QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact)) << '\n';
    } else {
        out << DisplayFileName(path) << '\n';
        auto line = [&out](const char* label, const QString& value) {
            out << "  " << QString::fromUtf8(label).leftJustified(13) << value << '\n';
        };
        if (record.contains(QStringLiteral("kind"))) {
            line("Art:", KindText(record.value(QStringLiteral("kind")).toString()));
            line("Hash:", rechnung.Hash());
            line("Kurz-Hash:", rechnung.ShortHash());
            line("Ablagename:", DisplayFileName(rechnung.FileName()));
            line("XML-Bytes:", QString::number(record.value(QStringLiteral("xml_bytes")).toInteger()));
        }
        if (const TInvoice* invoice = rechnung.Model()) {
            line("Rechnung:", QStringLiteral("%1 vom %2, %3 (%4 Positionen)")
                                  .arg(invoice->Text(u"BT-1").trimmed(), invoice->Text(u"BT-2").trimmed(), invoice->SyntaxName())
                                  .arg(invoice->Lines().size()));
            line("Verkäufer:", invoice->Text(u"BG-4/BT-27").trimmed());
            line("Zahlbetrag:", QStringLiteral("%1 %2").arg(invoice->Text(u"BG-22/BT-115").trimmed(), invoice->Text(u"BT-5").trimmed()));
        } else if (!rechnung.GetXmlData().isEmpty()) {
            line("Rechnung:", rechnung.ModelError());
        }
        if (!verdict.isEmpty()) {
            line("Urteil:", verdict);
            if (const QString reason = rechnung.NoEInvoiceReason(); !reason.isEmpty())
                line("Hinweis:", reason);
            if (rechnung.CheckedBy() == TCheckedBy::BuiltIn) {
                // The built-in report is made for the window; here the findings say it.
                line("Geprüft von:", QStringLiteral("eingebaute Prüfung (%1)").arg(rechnung.CheckNote()));
                const char* label = "Befunde:";
                for (const TReportMessage& f : rechnung.Findings()) {
                    line(label, QStringLiteral("%1 %2: %3 [%4]").arg(f.Level, f.Id, f.Text, f.Location));
                    label = "";
                }
            } else {
                line("Prüfbericht:", validation);
            }
        }
        const QJsonObject pdf = record.value(QStringLiteral("pdf_check")).toObject();
        if (!pdf.isEmpty() && pdf.value(QStringLiteral("state")).toString() != QLatin1String("differs"))
            line("PDF-Ansicht:", pdf.value(QStringLiteral("note")).toString());
        for (const QJsonValue& w : record.value(QStringLiteral("warnings")).toArray())
            line("Warnung:", w.toObject().value(QStringLiteral("text")).toString());
        if (!error.isEmpty())
            line("Fehler:", error);
    }
    out.flush();
    return outcome;
}

// What the history knows against the invoice; nothing when there is no history yet. A
// history that cannot be read says so as a warning of its own.
QJsonArray HistoryWarnings(TERechnung& rechnung, const QString& historyFile)
{
    QJsonArray warnings;
    const TInvoice* invoice = rechnung.GetXmlData().isEmpty() ? nullptr : rechnung.Model();
    if (!invoice)
        return warnings;
    const TInvoiceFacts facts = FactsOf(*invoice, rechnung.Profile());
    try {
        const std::unique_ptr<TEHistory> history = TEHistory::OpenForReading(historyFile);
        if (!history)
            return warnings;
        if (history->IsKnownHash(rechnung.Hash())) {
            warnings.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("decided-before")},
                                        {QStringLiteral("text"), DuplicateNotice(history->LastDecision(rechnung.Hash()))}});
        } else {
            if (const std::optional<TSameInvoice> same = history->SameInvoiceInOtherForm(facts, rechnung.Hash()))
                warnings.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("same-invoice")},
                                            {QStringLiteral("text"), SameInvoiceNotice(facts, *same)}});
        }
        if (const std::optional<TNewAccount> account = history->NewAccount(facts))
            warnings.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("new-account")},
                                        {QStringLiteral("text"), NewAccountNotice(*account)}});
    } catch (...) {
        warnings.append(QJsonObject{{QStringLiteral("id"), QStringLiteral("history")},
                                    {QStringLiteral("text"), QStringLiteral("Der Verlauf konnte nicht gelesen werden: ")
                                                                 + CurrentExceptionMessage()}});
    }
    return warnings;
}

// The decisions of the history, newest first: as text lines, JSON Lines or a CSV file.
int ShowHistory(const QString& historyFile, const QString& search, const QString& csvFile, bool json, QTextStream& out)
{
    try {
        const std::unique_ptr<TEHistory> history = TEHistory::OpenForReading(historyFile);
        THistoryFilter filter;
        filter.Search = search;
        const std::vector<THistoryRow> rows = history ? history->Rows(filter) : std::vector<THistoryRow>();
        if (!csvFile.isEmpty()) {
            const QString error = WriteFileReplacing(csvFile, HistoryCsv(rows));
            if (!error.isEmpty())
                throw Exception(QStringLiteral("In %1 kann nicht geschrieben werden: %2").arg(DisplayFileName(csvFile), error));
            return Ok;
        }
        for (const THistoryRow& row : rows) {
            const TInvoiceFacts& f = row.Facts;
            if (json) {
                QJsonArray accounts;
                for (const QString& a : f.Accounts)
                    accounts.append(a);
                const QJsonValue none(QJsonValue::Null);
                auto text = [&](const QString& t) { return t.isEmpty() ? none : QJsonValue(t); };
                out << QString::fromUtf8(
                           QJsonDocument(QJsonObject{{QStringLiteral("time"), row.Zeitpunkt},
                                                     {QStringLiteral("decision"), row.Verarbeitung},
                                                     {QStringLiteral("user"), row.User},
                                                     {QStringLiteral("computer"), row.PC},
                                                     {QStringLiteral("archive_name"), row.FileName},
                                                     {QStringLiteral("hash"), row.Hash},
                                                     {QStringLiteral("seller_name"), text(f.SellerName)},
                                                     {QStringLiteral("seller_vat_id"), text(f.SellerVatId)},
                                                     {QStringLiteral("number"), text(f.Number)},
                                                     {QStringLiteral("issue_date"), text(f.IssueDate)},
                                                     {QStringLiteral("total_with_vat"), text(f.GrandTotal)},
                                                     {QStringLiteral("amount_due"), text(f.AmountDue)},
                                                     {QStringLiteral("currency"), text(f.Currency)},
                                                     {QStringLiteral("accounts"), accounts}})
                               .toJson(QJsonDocument::Compact))
                    << '\n';
            } else {
                out << QStringLiteral("%1  %2  %3  %4").arg(GermanDate(row.Zeitpunkt), row.Verarbeitung.leftJustified(10), row.FileName,
                                                           row.HasFacts ? QStringLiteral("Nr. %1, %2, %3 %4")
                                                                              .arg(f.Number, f.SellerName, f.GrandTotal, f.Currency)
                                                                        : QString())
                    << '\n';
            }
        }
        out.flush();
        return Ok;
    } catch (...) {
        std::fprintf(stderr, "%s\n", qPrintable(CurrentExceptionMessage()));
        return Failed;
    }
}

// Checks files on several threads, each record written into its own text, and prints the
// records in the files' order as they are ready. Workers run at most a few files ahead of
// what is printed, so a slow file holds back no more than that.
int CheckInParallel(const QStringList& files, const TOptions& options, int workers, QTextStream& out)
{
    struct TRecord
    {
        bool Ready = false;
        QString Text;
        TOutcome Outcome = Ok;
    };
    std::vector<TRecord> records(size_t(files.size()));
    std::mutex lock;
    std::condition_variable changed;
    size_t next = 0;    // the next file a worker takes
    size_t printed = 0; // files printed so far
    const size_t ahead = size_t(workers) * 4;
    auto work = [&] {
        while (true) {
            size_t i;
            {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return next >= records.size() || next < printed + ahead; });
                if (next >= records.size())
                    return;
                i = next++;
            }
            QString text;
            QTextStream buffer(&text);
            const TOutcome outcome = CheckOne(files[qsizetype(i)], options, buffer);
            buffer.flush();
            {
                std::lock_guard<std::mutex> guard(lock);
                records[i].Text = std::move(text);
                records[i].Outcome = outcome;
                records[i].Ready = true;
            }
            changed.notify_all();
        }
    };
    InitXmlReading();
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back(work);
    int result = Ok;
    for (size_t i = 0; i < records.size(); ++i) {
        QString text;
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [&] { return records[i].Ready; });
            text = std::move(records[i].Text);
            result = std::max(result, int(records[i].Outcome));
            printed = i + 1;
        }
        changed.notify_all();
        out << text;
        out.flush();
    }
    for (std::thread& t : threads)
        t.join();
    return result;
}

// A folder stands for what it holds, one level deep: its files and whatever else is not a
// folder (a FIFO or a device is then reported as "keine Datei", never waited on).
QStringList ExpandPaths(const QStringList& args)
{
    QStringList files;
    for (const QString& arg : args) {
        if (DirectoryExists(arg)) {
            QStringList names = ListFileNames(arg, true);
            std::sort(names.begin(), names.end());
            for (const QString& name : names)
                files << JoinPath(arg, name);
        } else {
            files << arg;
        }
    }
    return files;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("erechnung-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ERECHNUNG_VERSION_TEXT));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption validate(QStringLiteral("validate"),
                                      QStringLiteral("Rechnung beim Validierungsdienst prüfen, Urteil und Prüfbericht ausgeben."));
    const QCommandLineOption render(QStringLiteral("render"),
                                    QStringLiteral("Darstellung des Rendering-Dienstes als <Ablagename>.html in <DIR> schreiben."),
                                    QStringLiteral("DIR"));
    const QCommandLineOption view(QStringLiteral("view"),
                                  QStringLiteral("Eingebaute Ansicht als <Ablagename>.html in <DIR> schreiben (ohne Netz)."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption service(QStringLiteral("service"),
                                     QStringLiteral("Basisadresse der Dienste (Standard: %1).").arg(QStringLiteral(ERECHNUNG_SERVICE_URL)),
                                     QStringLiteral("URL"));
    const QCommandLineOption cacert(QStringLiteral("cacert"),
                                    QStringLiteral("Nur diesem CA-Zertifikat (PEM) vertrauen statt den Zertifikaten des Systems."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption offline(
        QStringLiteral("offline"),
        QStringLiteral("Mit der eingebauten Prüfung prüfen statt beim Validierungsdienst, ganz ohne Netz."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Je Datei eine Zeile JSON ausgeben (JSON Lines)."));
    const QCommandLineOption historyOption(QStringLiteral("history"), QStringLiteral("Die Entscheidungen des Verlaufs ausgeben."));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Mit --history: als CSV-Datei für Excel nach <FILE> schreiben."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption search(QStringLiteral("search"),
                                    QStringLiteral("Mit --history: nur Entscheidungen, deren Nummer, Lieferant, Betrag, IBAN oder "
                                                   "Ablagename <TEXT> enthält."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption historyFile(QStringLiteral("history-file"),
                                         QStringLiteral("Die Verlaufsdatei (Standard: %1).").arg(TEHistory::DefaultPath()),
                                         QStringLiteral("FILE"));
    parser.addOptions({validate, offline, render, view, service, cacert, json, historyOption, csv, search, historyFile});
    parser.addPositionalArgument(QStringLiteral("PATH"), QStringLiteral("Rechnungsdateien oder Ordner."),
                                 QStringLiteral("PATH..."));
    // The arguments as the system gave them: a file name that is not UTF-8 keeps its bytes.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << DecodeFileName(QByteArray(argv[i]));
    parser.process(arguments);

    TOptions options;
    options.Validate = parser.isSet(validate) || parser.isSet(offline);
    if (parser.isSet(offline))
        options.Service.Mode = TCheckMode::BuiltIn;
    options.Json = parser.isSet(json);
    options.RenderDir = parser.value(render);
    options.ViewDir = parser.value(view);
    if (parser.isSet(service))
        options.Service.BaseUrl = parser.value(service);
    options.Service.CaFile = parser.value(cacert);
    options.HistoryFile = parser.isSet(historyFile) ? parser.value(historyFile) : TEHistory::DefaultPath();

    if (parser.isSet(historyOption)) {
        QTextStream out(stdout);
        return ShowHistory(options.HistoryFile, parser.value(search), parser.value(csv), options.Json, out);
    }
    if (parser.positionalArguments().isEmpty()) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return Failed;
    }
    for (const QString& dir : {options.RenderDir, options.ViewDir}) {
        if (!dir.isEmpty() && !DirectoryExists(dir)) {
            std::fprintf(stderr, "%s\n", qPrintable(QStringLiteral("Ordner %1 existiert nicht").arg(DisplayFileName(dir))));
            return Failed;
        }
    }

    QTextStream out(stdout);
    const QStringList files = ExpandPaths(parser.positionalArguments());
    int result = Ok;
    // Without the services (whose calls wait on an event loop of their own thread) the
    // files are read and checked on every core; the records come out in the files' order.
    const bool network = options.Service.Mode != TCheckMode::BuiltIn && (options.Validate || !options.RenderDir.isEmpty());
    const int workers = network ? 1 : std::clamp(QThread::idealThreadCount(), 1, 8);
    if (workers == 1 || files.size() < 2) {
        for (const QString& path : files)
            result = std::max(result, int(CheckOne(path, options, out)));
    } else {
        result = CheckInParallel(files, options, workers, out);
    }
    // Everything is written (each record is flushed): the rule tables, code lists and
    // parser state need not be taken apart one by one, which took a good part of a short
    // run. Under the leak checker the process ends the ordinary way.
    out.flush();
    std::fflush(stdout);
    std::fflush(stderr);
#if !defined(__SANITIZE_ADDRESS__)
    std::_Exit(result);
#endif
    return result;
}
