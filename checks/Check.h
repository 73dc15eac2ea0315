#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The program's own check of an invoice: the scenarios, the structure, the EN 16931 rules
// and the XRechnung rules as the official validator (XRechnung 3.0.2) applies them, in our
// own code. Its verdict is meant to be the official one; where it cannot tell, it rejects.

enum class TCheckLevel { Error, Warning, Information };

// The level as reports and scripts write it: "error", "warning", "information".
QString LevelName(TCheckLevel level);

struct TCheckFinding
{
    QString Id;            // "BR-CO-10", "cvc-complex-type.2.4.a"
    TCheckLevel Level = TCheckLevel::Error; // the rule's own level
    QString Location;      // "/ubl:Invoice/cac:InvoiceLine[2]/cbc:LineExtensionAmount"
    int Line = 0;          // in the XML, from 1; 0 when unknown
    QString Text;          // German
    // The scenario lowers this error (the invoice is accepted despite it) or raises this
    // warning to an error.
    bool Tolerated = false;
    bool Raised = false;
    // A warning the scenario lowers to a mere note.
    bool Lowered = false;
    // Whether the finding counts as an error for the verdict.
    bool CountsAsError() const { return Raised || (Level == TCheckLevel::Error && !Tolerated); }
};

enum class TCheckVerdict {
    Accept,          // no error
    AcceptTolerated, // errors that the scenario tolerates
    Reject,          // an error
    NoScenario,      // no scenario matches the document: rejected
};

struct TCheckResult
{
    QString Scenario; // "EN16931 XRechnung (UBL Invoice)"; empty when none matched
    // The rules the check followed, for the heading: "XRechnung 3.0.2", or a profile's
    // ("Factur-X 1.09, Profil EXTENDED").
    QString Rules;
    std::vector<TCheckFinding> Findings;
    TCheckVerdict Verdict = TCheckVerdict::Reject;

    bool Accepted() const { return Verdict == TCheckVerdict::Accept || Verdict == TCheckVerdict::AcceptTolerated; }
    // The assessment sentence, as the official report words it ("Bewertung: ...").
    QString Sentence() const;
    int Count(TCheckLevel level) const;
    // "Eingebaute Prüfung (Stand XRechnung 3.0.2)"
    QString Title() const;
};

// Checks the invoice XML (the bytes as the file holds them). Never raises: a document that
// cannot be read, or a rule that cannot be evaluated, gives a rejection that says why.
TCheckResult CheckInvoiceXml(const QByteArray& xml);
// The same on a document already parsed (the model reads the same tree).
class TXmlDocument;
TCheckResult CheckInvoiceXml(const TXmlDocument& document);

// The report for the report pane, as a part of a page (its style scoped to it): heading,
// the assessment sentence, the findings grouped by level.
QString CheckReportHtml(const TCheckResult& result);

// The version of the rules the checks follow, for headings and notes: XRechnung's and
// EN 16931's, and the ZUGFeRD / Factur-X profiles'.
inline constexpr const char* kCheckRulesVersion = "XRechnung 3.0.2";
inline constexpr const char* kFacturXRulesVersion = "Factur-X 1.09";
// The report's heading for those rules ("Eingebaute Prüfung (Stand XRechnung 3.0.2)").
QString CheckReportTitle(const QString& rules);
// The rules of a ZUGFeRD / Factur-X profile as the heading names them ("Factur-X 1.09, Profil
// BASIC WL"), for a profile as InvoiceProfile writes it ("BASIC-WL").
QString FacturXRules(const QString& profile);
