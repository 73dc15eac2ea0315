#pragma once

#include "model/Decimal.h"
#include "model/Terms.h"

#include <QAnyStringView>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <optional>
#include <utility>
#include <vector>

// An invoice in the semantic model of EN 16931 (with the XRechnung additions), read from
// UBL or CII. Every business term keeps its value as written, with its attributes (scheme,
// currency, unit, MIME type ...) and the line of the document it came from; repetitions
// stay in document order.

enum class TInvoiceSyntax { Ubl, UblCreditNote, Cii };

struct TTermValue
{
    const TTermDef* Term = nullptr;
    QString Text;   // as written
    int Line = 0;   // in the XML document, from 1
    const char* Binding = ""; // where in its group it was read (for messages)
    std::vector<std::pair<QString, QString>> Attributes;

    // The attribute's value, or a null text.
    QString Attribute(QStringView name) const;
    // The value as a decimal (amounts, prices, quantities, rates); nullopt when the text
    // is no decimal.
    std::optional<TDecimal> Decimal() const { return TDecimal::Parse(Text); }
    // Blanks at both ends removed, runs of blanks made one (as the rules compare).
    QString Normalized() const { return Text.simplified(); }
};

class TTermGroup
{
public:
    const TTermDef* Term = nullptr; // nullptr for the invoice itself
    int Line = 0;
    const TTermGroup* Parent = nullptr;
    std::string Location;            // where it stands below its parent: "/cac:InvoiceLine[3]"

    // Where the group stands in the document: "/ubl:Invoice/cac:InvoiceLine[3]".
    QString Path() const;

    std::vector<TTermValue> Values;  // in document order
    std::vector<std::unique_ptr<TTermGroup>> Groups;

    // The first value of the term directly in this group, or nullptr.
    const TTermValue* Value(QAnyStringView id) const;
    // Its text, or a null text.
    QString Text(QAnyStringView id) const;
    std::vector<const TTermValue*> AllValues(QAnyStringView id) const;
    // The first group of that id directly in this group, or nullptr.
    const TTermGroup* Group(QAnyStringView id) const;
    std::vector<const TTermGroup*> AllGroups(QAnyStringView id) const;
    bool IsEmpty() const { return Values.empty() && Groups.empty(); }
};

class TInvoice
{
public:
    TInvoiceSyntax Syntax = TInvoiceSyntax::Ubl;
    TTermGroup Root;

    // A term of the invoice or one of its groups by a path of ids: Text("BG-4/BT-27").
    QString Text(QAnyStringView path) const;
    const TTermValue* Value(QAnyStringView path) const;
    const TTermGroup* Group(QAnyStringView path) const;

    // "UBL Invoice", "UBL CreditNote", "CII".
    QString SyntaxName() const;
    // The invoice lines in document order, sub-lines not included.
    std::vector<const TTermGroup*> Lines() const { return Root.AllGroups(u"BG-25"); }
    // The accounts (BT-84) of all credit transfers, in document order.
    QStringList Ibans() const;
};

// A file embedded in the invoice (BT-125 of a BG-24).
struct TEmbeddedAttachment
{
    QString FileName; // as the invoice names it: not a safe name for a file system
    QString MimeCode;
    QByteArray Content;
};

// The file of the number-th supporting document (BG-24; 1, 2, ... in document order), or
// nullopt when that document embeds none or its Base64 text is unsound.
std::optional<TEmbeddedAttachment> EmbeddedAttachment(const TInvoice& invoice, int number);

// How many bytes the Base64 text of an embedded file decodes to (line breaks and blanks
// allowed), or -1 when it is no Base64: a wrong character, a wrong length, padding in the
// middle.
qlonglong Base64DecodedSize(const QString& text);
// That text without its line breaks and blanks, or a null text when it is no Base64.
QString CleanBase64(const QString& text);
