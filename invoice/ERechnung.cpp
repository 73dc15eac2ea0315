#include "invoice/ERechnung.h"

#include "platform/BackgroundCall.h"

#include "checks/Check.h"
#include "invoice/EZugFerd_Qpdf.h"
#include "model/InvoiceReader.h"
#include "model/InvoiceView.h"
#include "platform/AnsiCodePage.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "services/ERenderer.h"
#include "services/EValidator.h"

#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

namespace {

const QString kSonstigeText = QStringLiteral(
    "Es kann im PDF kein XML-Anhang gefunden werden.<br>Wahrscheinlich handelt es sich um eine "
    "\"Sonstige Rechnung\".<br> Sie sollten den Rechnungs-Ersteller auffordern, zeitnah auf E-Rechnung umzustellen.");

const QString kNotRenderedPrefix =
    QStringLiteral("<!DOCTYPE html><html lang=\"de\"><head><meta charset=\"utf-8\"></head><body>");

[[noreturn]] void RaiseCannotOpen(const QString& path, const QString& reason)
{
    throw Exception(QStringLiteral("Datei %1 kann nicht geöffnet werden. %2").arg(DisplayFileName(path), reason));
}

[[noreturn]] void RaiseTooLarge(const QString& path, qint64 size)
{
    throw Exception(QStringLiteral("Die XML-Rechnung %1 ist %2 MiB groß. XML-Rechnungen über %3 MiB werden nicht gelesen.")
                        .arg(DisplayFileName(path), QString::number(double(size) / (1024.0 * 1024.0), 'f', 1))
                        .arg(kMaxInvoiceXmlBytes / (1024 * 1024)));
}

// The findings with the level they have for the verdict: an error the scenario tolerates
// is a warning, a warning it raises an error; the text says so, as the report does.
std::vector<TReportMessage> MessagesOf(const TCheckResult& result)
{
    std::vector<TReportMessage> messages;
    for (const TCheckFinding& f : result.Findings) {
        TReportMessage m{f.Id, LevelName(f.Level), f.Location, f.Text};
        if (f.CountsAsError() && f.Level != TCheckLevel::Error) {
            m.Level = LevelName(TCheckLevel::Error);
            m.Text += QStringLiteral(" (gilt in diesem Prüfszenario als Fehler)");
        } else if (f.Tolerated) {
            m.Level = LevelName(TCheckLevel::Warning);
            m.Text += QStringLiteral(" (wird in diesem Prüfszenario toleriert)");
        }
        messages.push_back(std::move(m));
    }
    return messages;
}

QString NoteHtml(const QString& text)
{
    return QStringLiteral("<p class=\"important\" style=\"background:#fff3c4;border:1px solid #c9a400;padding:4pt\"><b>%1</b></p>")
        .arg(text.toHtmlEscaped());
}

// What the built-in checks say where they differ from the service.
QString Disagreement(const TCheckResult& own)
{
    QStringList errors;
    for (const TCheckFinding& f : own.Findings) {
        if (f.CountsAsError() && !errors.contains(f.Id))
            errors << f.Id;
    }
    QString text = QStringLiteral("Die eingebaute Prüfung kommt zu einem anderen Ergebnis: %1").arg(own.Sentence());
    if (!errors.isEmpty())
        text += QStringLiteral(" (Fehler: %1)").arg(errors.join(QStringLiteral(", ")));
    return text + QStringLiteral(" Es gilt das Ergebnis des Prüfdienstes.");
}

} // namespace

TERechnung::TERechnung(QObject* AOwner)
    : Owner(AOwner)
{
}

TERechnung::TERechnung(QObject* AOwner, const QString& filename)
    : TERechnung(AOwner)
{
    LoadFromFile(filename);
}

TERechnung::~TERechnung() = default;

void TERechnung::LoadFromFile(QString filename)
{
    Clear();
    FOriginalFilePath = filename;
    if (ExtractFileExt(filename).toLower() == QLatin1String(".pdf")) {
        auto accessor = std::make_unique<TEZugFerdQpdf>(Owner, filename);
        // One pass over the PDF: the extraction answers both "is there an XML invoice"
        // and "what does it say"; an empty attachment reads as a PDF without XML.
        XmlData = accessor->ExtractFacturX();
        FXmlBytes = AnsiEncode(XmlData);
        ZugFerd = std::move(accessor);
    } else {
        QFile file;
        const QString error = OpenForReading(file, filename);
        if (!error.isEmpty())
            RaiseCannotOpen(filename, error);
        if (file.size() > kMaxInvoiceXmlBytes)
            RaiseTooLarge(filename, file.size());
        // Read no more than the limit, also when the file grows while it is read.
        const QByteArray bytes = file.read(kMaxInvoiceXmlBytes + 1);
        if (file.error() != QFileDevice::NoError)
            RaiseCannotOpen(filename, file.errorString());
        if (bytes.size() > kMaxInvoiceXmlBytes)
            RaiseTooLarge(filename, bytes.size());
        XmlData = AnsiDecode(bytes);
        FXmlBytes = bytes;
    }
    ComputeHash();
    ComputeUniqueFilename();
}

void TERechnung::ComputeHash()
{
    QCryptographicHash md5(QCryptographicHash::Md5);
    if (!XmlData.isEmpty()) {
        md5.addData(XmlData.toUtf8());
    } else {
        QFile file;
        const QString error = OpenForReading(file, FOriginalFilePath);
        if (!error.isEmpty())
            RaiseCannotOpen(FOriginalFilePath, error);
        char buffer[4096];
        for (;;) {
            const qint64 n = file.read(buffer, sizeof buffer);
            if (n < 0)
                RaiseCannotOpen(FOriginalFilePath, file.errorString());
            if (n == 0)
                break;
            md5.addData(QByteArrayView(buffer, n));
        }
    }
    FHash = QString::fromLatin1(md5.result().toHex());
}

QString TERechnung::GetSHortHash() const
{
    return FHash.mid(1, 8);
}

void TERechnung::ComputeUniqueFilename()
{
    const QString name = ExtractFileName(FOriginalFilePath);
    const QString shortHash = GetSHortHash();
    FUniqueFilename = name.startsWith(shortHash) ? name : shortHash + QLatin1Char('_') + name;
}

QString TERechnung::Validate()
{
    is_valid = false;
    is_sonstige = false;
    is_dup = false;
    if (HtmlValidateString.isEmpty()) {
        if (XmlData.isEmpty()) {
            HtmlValidateString = kSonstigeText;
        } else {
            RunChecks();
            // A booking aid is no e-invoice, whatever a check says of it: its reason stands
            // above the report.
            const QString reason = NoEInvoiceReason();
            if (!reason.isEmpty())
                HtmlValidateString = NoteHtml(reason) + HtmlValidateString;
        }
    }
    // Derived from the document, not only from the first call, so that asking again
    // gives the same flags. Acceptance is what the check read from the whole answer,
    // never a sentence found somewhere in the text. An invoice that is no e-invoice is
    // waved through like a PDF without XML: never accepted.
    is_sonstige = XmlData.isEmpty() || !NoEInvoiceReason().isEmpty();
    is_valid = !is_sonstige && FAccepted;
    return HtmlValidateString;
}

void TERechnung::RunChecks()
{
    // Whichever way the check ends, it needs the parsed document no more.
    struct TCheckEnds
    {
        TERechnung& R;
        ~TCheckEnds()
        {
            R.FChecked = true;
            R.DropDocumentWhenRead();
        }
    } ends{*this};
    const TCheckMode mode = FServiceOptions.Mode;
    if (mode == TCheckMode::BuiltIn) {
        DecideBuiltIn(QStringLiteral("Sie haben die eingebaute Prüfung gewählt."));
        return;
    }
    TEValidator validator(Owner, FServiceOptions);
    QString html;
    try {
        html = validator.Validate(XmlData);
    } catch (...) {
        const bool cancelled = FServiceOptions.Cancel && FServiceOptions.Cancel->load();
        if (mode == TCheckMode::Service || cancelled)
            throw;
        FServiceUnreachable = true;
        DecideBuiltIn(QStringLiteral("Der Prüfdienst war nicht erreichbar (%1). Geprüft hat die eingebaute Prüfung.")
                          .arg(CurrentExceptionMessage()));
        return;
    }
    if (!validator.IsReport() && mode == TCheckMode::ServiceOrBuiltIn) {
        FServiceUnreachable = true;
        DecideBuiltIn(QStringLiteral("Der Prüfdienst hat keinen Prüfbericht geliefert (HTTP-Status %1). Geprüft hat die "
                                     "eingebaute Prüfung.")
                          .arg(validator.Status()));
        return;
    }
    FAccepted = validator.Accepted();
    FCheckedBy = TCheckedBy::Service;
    FFindings = validator.Messages();
    // The built-in checks alongside a report: they never decide here, but a reader sees at
    // once when they see it otherwise. An answer that is no report has no verdict to
    // compare with; its page says what went wrong.
    if (!validator.IsReport()) {
        HtmlValidateString = html;
        return;
    }
    const TCheckResult own = BuiltInCheck();
    // A profile the service knows no rules for (ZUGFeRD / Factur-X BASIC, EXTENDED): the
    // built-in checks that know it decide, when the user allows them to.
    if (validator.NoScenario() && mode == TCheckMode::ServiceOrBuiltIn && own.Verdict != TCheckVerdict::NoScenario
        && !own.Rules.isEmpty()) {
        DecideBuiltIn(QStringLiteral("Der Prüfdienst kennt das Profil %1 nicht; entschieden hat die eingebaute Prüfung.").arg(Profile()),
                      own);
        return;
    }
    if (own.Accepted() != FAccepted) {
        FCheckNote = Disagreement(own);
        html = NoteHtml(FCheckNote) + html;
    }
    HtmlValidateString = html;
}

const TXmlDocument* TERechnung::Document()
{
    if (!FDocumentRead) {
        FDocumentRead = true;
        try {
            FDocument = std::make_unique<TXmlDocument>(FXmlBytes);
            FProfile = InvoiceProfile(*FDocument);
        } catch (...) {
            // The check and the model say why, each in its own way.
        }
    }
    return FDocument.get();
}

QString TERechnung::NoEInvoiceReason()
{
    return NoEInvoiceNotice(Profile());
}

QString TERechnung::Profile()
{
    if (!XmlData.isEmpty())
        Document();
    DropDocumentWhenRead();
    return FProfile;
}

void TERechnung::DropDocumentWhenRead()
{
    if (FChecked && FModelRead)
        FDocument.reset();
}

TCheckResult TERechnung::BuiltInCheck()
{
    const TXmlDocument* document = Document();
    return document ? CheckInvoiceXml(*document) : CheckInvoiceXml(FXmlBytes);
}

void TERechnung::DecideBuiltIn(const QString& why)
{
    DecideBuiltIn(why, BuiltInCheck());
}

void TERechnung::DecideBuiltIn(const QString& why, const TCheckResult& result)
{
    FAccepted = result.Accepted();
    FCheckedBy = TCheckedBy::BuiltIn;
    FCheckNote = why;
    FFindings = MessagesOf(result);
    // Chosen by the user, the report's own heading says enough; in place of the service,
    // the reason stands above it.
    // A booking aid has no rules of EN 16931 to be checked against: the report says so
    // instead of recommending a rejection for want of a scenario (the reason why it is no
    // e-invoice stands above it).
    const QString report = result.Verdict == TCheckVerdict::NoScenario && !NoEInvoiceReason().isEmpty()
        ? QStringLiteral("<h2>%1</h2><p>Nach den Regeln der E-Rechnung (EN 16931, XRechnung) wird dieses Dokument nicht "
                         "geprüft: es enthält nicht den vollen Inhalt einer Rechnung.</p>")
              .arg(CheckReportTitle(Profile() == QLatin1String("ZUGFERD-1") ? QString::fromLatin1(kCheckRulesVersion)
                                                                            : FacturXRules(Profile())))
        : CheckReportHtml(result);
    HtmlValidateString = (FServiceOptions.Mode == TCheckMode::BuiltIn ? QString() : NoteHtml(why)) + report;
}

QString TERechnung::Render()
{
    if (!HtmlRenderString.isEmpty())
        return HtmlRenderString;
    // Without a service for this load once, the service is not asked again until the
    // invoice is opened anew: switching views must not wait for a dead service each time.
    if (FRenderedBy == TRenderedBy::BuiltIn)
        return RenderBuiltIn();
    auto builtIn = [this](const QString& why) {
        FRenderNote = why;
        FRenderedBy = TRenderedBy::BuiltIn;
        return RenderBuiltIn();
    };
    if (FServiceOptions.Mode == TCheckMode::BuiltIn)
        return builtIn(QStringLiteral("Sie haben die eingebaute Prüfung gewählt: die Rechnung wird ohne Netz dargestellt."));
    if (FServiceUnreachable)
        return builtIn(QStringLiteral("Der Prüfdienst war eben nicht erreichbar: die Rechnung wird ohne ihn dargestellt."));
    if (FServiceOptions.BaseUrl.trimmed().isEmpty())
        return builtIn(QStringLiteral("Kein Darstellungsdienst eingestellt."));
    QString answer;
    int status = 0;
    try {
        TERenderer renderer(Owner, FServiceOptions);
        answer = renderer.Render(XmlData);
        status = renderer.Status();
    } catch (...) {
        return builtIn(QStringLiteral("Der Darstellungsdienst ist nicht erreichbar: %1").arg(CurrentExceptionMessage()));
    }
    if (status != 200)
        return builtIn(QStringLiteral("Der Darstellungsdienst hat mit HTTP-Status %1 geantwortet.").arg(status));
    if (answer.trimmed().isEmpty())
        return builtIn(QStringLiteral("Der Darstellungsdienst hat nichts geliefert."));
    if (answer.startsWith(QLatin1String("<?xml"))) {
        // The service could not render. The built-in view may, or else the XML is shown as
        // text: it comes from an outside sender, so escaped, never pasted in as markup.
        if (Model())
            return builtIn(QStringLiteral("Der Darstellungsdienst konnte die Rechnung nicht darstellen."));
        FRenderedBy = TRenderedBy::Service;
        HtmlRenderString = kNotRenderedPrefix + QStringLiteral("<pre>") + XmlData.toHtmlEscaped() + QStringLiteral("</pre>");
        return HtmlRenderString;
    }
    FRenderNote.clear();
    FRenderedBy = TRenderedBy::Service;
    HtmlRenderString = answer;
    return HtmlRenderString;
}

QString TERechnung::RenderBuiltIn()
{
    if (HtmlBuiltInString.isEmpty()) {
        if (const TInvoice* invoice = Model())
            HtmlBuiltInString = InvoiceViewHtml(*invoice, FAttachmentAddress);
        else
            HtmlBuiltInString = InvoiceViewErrorHtml(ModelError(), XmlData);
    }
    return HtmlBuiltInString;
}

void TERechnung::SetAttachmentAddress(const QString& address)
{
    if (address == FAttachmentAddress)
        return;
    FAttachmentAddress = address;
    HtmlBuiltInString.clear();
}

const TInvoice* TERechnung::Model()
{
    if (!FModelRead) {
        FModelRead = true;
        if (XmlData.isEmpty()) {
            FModelError = QStringLiteral("Die Datei enthält keine XML-Rechnung.");
        } else {
            try {
                const TXmlDocument* document = Document();
                FModel = std::make_unique<TInvoice>(document ? ReadInvoice(*document) : ReadInvoice(FXmlBytes));
            } catch (...) {
                FModelError = CurrentExceptionMessage();
            }
        }
        DropDocumentWhenRead();
    }
    return FModel.get();
}

const QString& TERechnung::ModelError()
{
    Model();
    return FModelError;
}

void TERechnung::RenderPDFPage(int page, QPainter* dc)
{
    if (ZugFerd)
        ZugFerd->RenderPDFPage(page, dc);
}

const TPdfComparison& TERechnung::PdfCheck()
{
    if (FPdfCheck)
        return *FPdfCheck;
    FPdfCheck.emplace();
    const TInvoice* invoice = IsPdf() && !XmlData.isEmpty() ? Model() : nullptr;
    if (!invoice)
        return *FPdfCheck;
    // Never blocks and never fails the load: a PDF that cannot be read is a note.
    try {
        QFile file;
        const QString error = OpenForReading(file, FOriginalFilePath);
        if (!error.isEmpty())
            throw Exception(error);
        const QByteArray pdf = file.readAll();
        *FPdfCheck = RunKeepingEventsFlowing([&pdf, invoice] { return ComparePdfWithInvoice(pdf, *invoice); });
    } catch (...) {
        FPdfCheck->State = TPdfComparison::TState::Unreadable;
        FPdfCheck->Reason = CurrentExceptionMessage();
    }
    return *FPdfCheck;
}

void TERechnung::Clear()
{
    FOriginalFilePath.clear();
    XmlData.clear();
    FXmlBytes.clear();
    FHash.clear();
    HtmlValidateString.clear();
    HtmlRenderString.clear();
    HtmlBuiltInString.clear();
    FRenderedBy = TRenderedBy::Nobody;
    FRenderNote.clear();
    FModel.reset();
    FModelError.clear();
    FModelRead = false;
    FDocument.reset();
    FDocumentRead = false;
    FProfile.clear();
    FChecked = false;
    FAccepted = false;
    FCheckedBy = TCheckedBy::Nobody;
    FCheckNote.clear();
    FFindings.clear();
    FServiceUnreachable = false;
    FPdfCheck.reset();
    ZugFerd.reset();
    // Also forget the archive name and the flags: a failed load must never be filed under
    // the name, or with the verdict, of the invoice loaded before.
    FUniqueFilename.clear();
    is_valid = false;
    is_dup = false;
    is_sonstige = false;
}

bool TERechnung::GetIsZugFerd() const
{
    return ZugFerd && ZugFerd->IsZugFerd();
}

bool TERechnung::GetIsInvalidZugFerd() const
{
    return GetIsZugFerd() && !is_valid;
}

TVerdict VerdictOf(const TERechnung& rechnung)
{
    if (rechnung.IsValid())
        return TVerdict::Accept;
    if (rechnung.IsSonstigeRechnung())
        return TVerdict::WaveThrough;
    return TVerdict::Reject;
}
