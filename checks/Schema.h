#pragma once

#include "checks/Rules.h"

#include <QByteArray>

#include <functional>

namespace checks {

// The structure of the document as the schema of its syntax (UBL 2.1, UN/CEFACT CII D16B)
// requires it: which elements may stand where, in which order and how often, which
// attributes they may carry and what their values must look like. Findings carry the
// codes of the schema validators ("cvc-complex-type.2.4.a").
//
// The content models cover the aggregates an EN 16931 invoice uses. An element the schema
// allows but whose content this check does not model is reported as kStructureUncheckedId,
// an error: such an invoice is rejected rather than waved through unchecked.
void CheckStructure(const TDocument& doc, std::vector<TCheckFinding>& findings);

inline constexpr const char* kStructureUncheckedId = "STRUKTUR-NICHT-GEPRUEFT";

// A document with every element the content models allow (once each, a type not within
// itself, leaves with plain values of their data type), for the tests: every rule meets
// each element. valueOf gives the value for a leaf's path ("/Invoice/cac:TaxTotal/...")
// or a null text for the plain one; kLeftOut for an optional element to leave out.
inline constexpr const char* kLeftOut = "-";
QByteArray ExampleDocument(TSyntax syntax, TFxProfile profile, const std::function<QString(const QString&)>& valueOf);

// Whether the finding is a schema error (the business rules are not applied then).
bool IsStructureError(const TCheckFinding& finding);

} // namespace checks
