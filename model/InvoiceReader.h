#pragma once

#include "model/Invoice.h"

#include <QByteArray>

struct _xmlDoc;
struct _xmlNode;

// An invoice XML parsed the program's way: no network, no DTD loaded, no entity expanded.
// Kept while the model and the checks read it.
class TXmlDocument
{
public:
    // Parses bytes; raises (German message, then the parser's words) when they are not
    // well-formed XML.
    explicit TXmlDocument(const QByteArray& bytes);
    ~TXmlDocument();
    TXmlDocument(const TXmlDocument&) = delete;
    TXmlDocument& operator=(const TXmlDocument&) = delete;

    _xmlDoc* Doc() const { return FDoc; }
    _xmlNode* Root() const;

private:
    _xmlDoc* FDoc = nullptr;
};

// Readies the XML parser for use on several threads at once: called before they start.
void InitXmlReading();

// What kind of document the root element says it is.
enum class TXmlKind { UblInvoice, UblCreditNote, Cii, Zugferd1, Unknown };
TXmlKind KindOfDocument(const TXmlDocument& document);

// The profile of the invoice as its rules identifier (BT-24) names it, in the words
// erechnung-check writes: "XRECHNUNG", "EN16931", "EXTENDED", "BASIC", "BASIC-WL",
// "MINIMUM" (ZUGFeRD 2.x / Factur-X, both generations of identifiers), "ZUGFERD-1" for a
// ZUGFeRD 1.0 document; a null text for any other document or identifier.
QString InvoiceProfile(const TXmlDocument& document);
// The same from the identifier alone (blanks around it ignored).
QString ProfileOfGuideline(const QString& guideline);
// Why an invoice of that profile is no e-invoice under German VAT law (§ 14 UStG: MINIMUM
// and BASIC WL are booking aids without the invoice's full content, ZUGFeRD 1.0 is not one
// either), for the report, the status bar and the view; a null text for any other profile.
QString NoEInvoiceNotice(const QString& profile);

// The invoice in the document. Raises with a message that says why for anything that is
// no UBL or CII invoice (ZUGFeRD 1.0, another root element).
TInvoice ReadInvoice(const TXmlDocument& document);
// Parses and reads.
TInvoice ReadInvoice(const QByteArray& bytes);
