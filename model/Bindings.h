#pragma once

#include "model/Invoice.h"

#include <vector>

// Where each business term stands in UBL and in CII: a path relative to the element of its
// group, in a small XPath-like language:
//   step/step        child elements ("cbc:ID"), ".." the parent, "." the element itself
//   /step            from the document's root element
//   step/@name       an attribute (last step only)
//   a|b              either path (the results of both, a's first)
//   step[p]          only where p holds: "[path]" exists, "[path='v1,v2']" some node of
//                    path has one of the values (blanks trimmed), "[path=='v']" the value
//                    as written, "[not ...]" the opposite
struct TBinding
{
    const char* Term;   // "BT-1", "BG-25"
    const char* Parent; // group id, "" for the invoice
    const char* Path;
    const char* Flags;  // "" or: "I" UBL Invoice only, "C" UBL CreditNote only,
                        // "?" a group that is dropped when it holds nothing,
                        // "1" read only at the first group element of its kind among its
                        // siblings: CII keeps some terms of every payment means once for
                        // all of them, beside them (the payment reference); read at each,
                        // each of three thousand means would hold all references
};

const std::vector<TBinding>& UblBindings();
const std::vector<TBinding>& CiiBindings();

// The namespace of a prefix used in the paths ("cbc", "cac", "ram", "rsm", "udt", "qdt"),
// and the other way round; nullptr for one that is not among them.
const char* NamespaceOfPrefix(const char* prefix);
const char* PrefixOfNamespace(const char* uri);

inline constexpr const char* kUblInvoiceNs = "urn:oasis:names:specification:ubl:schema:xsd:Invoice-2";
inline constexpr const char* kUblCreditNoteNs = "urn:oasis:names:specification:ubl:schema:xsd:CreditNote-2";
inline constexpr const char* kCiiNs = "urn:un:unece:uncefact:data:standard:CrossIndustryInvoice:100";
