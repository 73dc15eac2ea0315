#pragma once

#include "checks/Check.h"

#include "invoice/PdfComparison.h"

#include "services/EValidator.h"
#include "services/ServiceOptions.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QObject;
class QPainter;
class TXmlDocument;
class TEZugFerd;
class TInvoice;

// Who made the rendering that Render() returned.
enum class TRenderedBy { Nobody, Service, BuiltIn };

// Whose verdict Validate() returned.
enum class TCheckedBy { Nobody, Service, BuiltIn };

// The invoice being checked: its file, its XML text, its hash and archive file name, the
// answers of the validation and rendering services and the flags derived from them.
class TERechnung
{
public:
    explicit TERechnung(QObject* AOwner);
    TERechnung(QObject* AOwner, const QString& filename);
    ~TERechnung();

    TERechnung(const TERechnung&) = delete;
    TERechnung& operator=(const TERechnung&) = delete;

    void LoadFromFile(QString filename); // by value: callers may pass OriginalFilePath()
    // The validation result (HTML), made once per loaded file; sets the flags. Who checks
    // follows ServiceOptions().Mode: the service (its transport failures raise), the
    // built-in checks, or the service and, when it cannot be reached or gives no report,
    // the built-in checks. Where the service decides, the built-in checks run alongside
    // and a different result of theirs is noted at the top of the report.
    QString Validate();
    TCheckedBy CheckedBy() const { return FCheckedBy; }
    // Why the built-in checks decided, or how they differ from the service; empty else.
    const QString& CheckNote() const { return FCheckNote; }
    // The findings of the check that decided (code, level, place, text).
    const std::vector<TReportMessage>& Findings() const { return FFindings; }
    // The rendering (HTML), asked of the service once per loaded file. Without a service
    // (none set, not reachable, an error status, no rendering in the answer) it is the
    // built-in view; RenderedBy() and RenderNote() say so and why.
    QString Render();
    // The built-in view, made from the invoice itself without any network.
    QString RenderBuiltIn();
    TRenderedBy RenderedBy() const { return FRenderedBy; }
    const QString& RenderNote() const { return FRenderNote; }
    // The invoice as the program reads it (EN 16931 model), or nullptr when the XML is no
    // UBL or CII invoice; ModelError() says why.
    const TInvoice* Model();
    const QString& ModelError();
    void RenderPDFPage(int page, QPainter* dc);
    // Empties the document: path, XML, hash, archive name, results, flags and accessor.
    void Clear();
    void MarkAsDuplicate() { is_dup = true; }

    QString GetSHortHash() const;
    bool GetIsZugFerd() const;
    bool GetIsInvalidZugFerd() const;

    // Properties
    const QString& OriginalFilePath() const { return FOriginalFilePath; }
    const QString& FileName() const { return FUniqueFilename; }
    bool IsValid() const { return is_valid; }
    bool IsDuplicate() const { return is_dup; }
    const QString& Hash() const { return FHash; }
    QString ShortHash() const { return GetSHortHash(); }
    bool IsSonstigeRechnung() const { return is_sonstige; }
    bool IsZugFerd() const { return GetIsZugFerd(); }
    bool IsInvalidZugFerd() const { return GetIsInvalidZugFerd(); }

    // The loaded file is a PDF (the accessor is present).
    bool IsPdf() const { return ZugFerd != nullptr; }
    const QString& GetXmlData() const { return XmlData; }
    // The same in the ANSI code page: the invoice's bytes as the file (or the attachment)
    // holds them, kept from the load.
    const QByteArray& XmlBytes() const { return FXmlBytes; }
    // The profile its rules identifier names ("XRECHNUNG", "EXTENDED", "MINIMUM", ...; see
    // InvoiceProfile); a null text without XML or when the XML cannot be read.
    QString Profile();
    // Why the invoice is no e-invoice under German VAT law (§ 14 UStG: MINIMUM and BASIC WL
    // are booking aids, ZUGFeRD 1.0 is not one either), or a null text: such an invoice is
    // waved through like a PDF without XML, never accepted.
    QString NoEInvoiceReason();

    // Whether the pages of a hybrid PDF show what its XML says (number, amounts, accounts):
    // compared once per load, off the calling thread while its events go on; NotCompared
    // for anything but a hybrid PDF whose XML is an invoice.
    const TPdfComparison& PdfCheck();

    // Where the services are reached; the program's defaults unless set.
    const TServiceOptions& ServiceOptions() const { return FServiceOptions; }
    void SetServiceOptions(const TServiceOptions& options) { FServiceOptions = options; }
    // Where the links of the built-in view's attachments go (see InvoiceViewHtml); by
    // default they carry the bytes themselves.
    void SetAttachmentAddress(const QString& address);

private:
    void ComputeHash();
    void ComputeUniqueFilename();

    QString FOriginalFilePath;
    QString FUniqueFilename;
    QString FHash;
    bool is_valid = false;
    bool is_dup = false;
    bool is_sonstige = false;
    QObject* Owner;
    std::unique_ptr<TEZugFerd> ZugFerd;
    QString XmlData;
    QByteArray FXmlBytes;
    QString HtmlValidateString;
    QString HtmlRenderString;
    QString HtmlBuiltInString;
    QString FAttachmentAddress;
    TRenderedBy FRenderedBy = TRenderedBy::Nobody;
    QString FRenderNote;
    std::unique_ptr<TInvoice> FModel;
    // The invoice parsed once for the check and the model, dropped when both have read it
    // (the tree of a large invoice is several times its size).
    std::unique_ptr<TXmlDocument> FDocument;
    bool FDocumentRead = false;
    QString FProfile;
    bool FChecked = false;
    const TXmlDocument* Document();
    void DropDocumentWhenRead();
    QString FModelError;
    bool FModelRead = false;
    void RunChecks();
    TCheckResult BuiltInCheck();
    void DecideBuiltIn(const QString& why);
    void DecideBuiltIn(const QString& why, const TCheckResult& result);

    bool FAccepted = false; // the check behind HtmlValidateString recommends acceptance
    TCheckedBy FCheckedBy = TCheckedBy::Nobody;
    QString FCheckNote;
    std::vector<TReportMessage> FFindings;
    bool FServiceUnreachable = false; // for this load: the renderer is not asked either
    TServiceOptions FServiceOptions;
    std::optional<TPdfComparison> FPdfCheck;
};

// What the validation of a document means for the user.
enum class TVerdict { Accept, WaveThrough, Reject };
TVerdict VerdictOf(const TERechnung& rechnung);
