#pragma once

#include "services/EServiceClient.h"

#include <vector>

// One finding of a report (a schema error, a failed rule), as the report states it.
struct TReportMessage
{
    QString Id;       // the rule or error code ("BR-CO-10", "cvc-complex-type.2.4.a")
    QString Level;    // "error", "warning", "information"
    QString Location; // the report's XPath, or "Zeile n, Spalte m"
    QString Text;
};

// Client of the validation service: posts the invoice XML to "/validate" and returns the
// human-readable explanation of the report, or the whole answer when it has none.
//
// Whether the service recommends acceptance is read from the answer as a whole, never from
// a sentence found somewhere in it: only an answer with HTTP status 200 that is a report
// whose assessment is "accept" and whose stated assessment sentence is one of the two
// accept sentences counts. Anything else (an error page, a proxy's answer, a report that
// says one thing in its structure and another in its text) is a rejection, and the text
// for the pane says why.
class TEValidator : public TEServiceClient
{
public:
    explicit TEValidator(QObject* AOwner, TServiceOptions options = {});

    // The text for the report pane. Raises on transport failures and on an empty answer.
    QString Validate(const QString& xmlstr);
    // Whether the answer of the last Validate recommends acceptance.
    bool Accepted() const { return FAccepted; }
    // Whether the answer of the last Validate was a report at all (not an error page).
    bool IsReport() const { return FIsReport; }
    const std::vector<TReportMessage>& Messages() const { return FMessages; }
    // Whether the report says that none of the service's scenarios matched the document
    // (it knows no rules for it: a profile it does not check).
    bool NoScenario() const { return FNoScenario; }

    struct TReading
    {
        QString Html;          // what the report pane shows
        bool Accepted = false; // the service recommends acceptance
        bool IsReport = false; // the answer is a report (accepting or not)
        bool NoScenario = false;
        std::vector<TReportMessage> Messages;
    };
    // Reads an answer of the service; raises "Leere Antwort des Prüfdienstes" on an empty one.
    static TReading ReadAnswer(int status, const QString& answer);

    // The first child of the first rep:explanation of a report, serialised as XML; empty
    // text when the answer is no report or has no such child. Public for the tests.
    static QString ExtractExplanation(const QString& report);

private:
    bool FAccepted = false;
    bool FIsReport = false;
    bool FNoScenario = false;
    std::vector<TReportMessage> FMessages;
};

// Namespace of the validator's report format (varl, version 1).
inline constexpr const char* kVarlNamespace = "http://www.xoev.de/de/validator/varl/1";

// The sentences with which a validation report recommends acceptance.
inline constexpr const char* kAcceptSentence =
    "Bewertung: Es wird empfohlen das Dokument anzunehmen und weiter zu verarbeiten.";
inline constexpr const char* kAcceptToleratedSentence =
    "Bewertung: Es wird empfohlen das Dokument anzunehmen und zu verarbeiten, da die vorhandenen Fehler derzeit toleriert werden.";
