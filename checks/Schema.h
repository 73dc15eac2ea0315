#pragma once

#include "checks/Rules.h"

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

// Whether the finding is a schema error (the business rules are not applied then).
bool IsStructureError(const TCheckFinding& finding);

} // namespace checks
