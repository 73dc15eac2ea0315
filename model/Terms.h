#pragma once

#include <QString>

#include <vector>

// The business terms (BT) and groups (BG) of the semantic invoice model EN 16931-1, with the
// additions of the XRechnung extension (sub-lines, third-party payments): their ids, what
// kind of value each holds, how often it may occur, and a German label of our own.

enum class TTermType {
    Group,      // BG: holds terms and groups
    Text,       // free text
    Identifier, // an id, maybe with a scheme (attribute)
    Date,       // a calendar date
    Amount,     // a monetary amount, at most two decimals where the rules say so
    UnitPrice,  // a price per unit: any number of decimals
    Quantity,
    Percentage,
    Code,       // a value from a code list
    Binary,     // an embedded file (Base64), with MIME type and file name
    Reference,  // a document reference
};

struct TTermDef
{
    const char* Id;        // "BT-1", "BG-25", "BT-DEX-002"
    const char* Parent;    // the group it belongs to; "" for the invoice itself
    TTermType Type;
    int MinCount;          // 0 or 1
    bool Repeats;          // may occur more than once (in its group)
    const char* Label;     // German, for people
};

// The catalogue, parents before children.
const std::vector<TTermDef>& TermCatalogue();
// The entry of id, or nullptr.
const TTermDef* FindTerm(QStringView id);
const TTermDef* FindTerm(const char* id);
// "Rechnungsnummer (BT-1)", or the id itself when it is unknown.
QString TermTitle(QStringView id);
