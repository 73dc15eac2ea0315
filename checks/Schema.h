#pragma once

#include "checks/Rules.h"

namespace checks {

// The structure of the document as the schema of its syntax (UBL 2.1, UN/CEFACT CII D16B)
// requires it: which elements may stand where, in which order and how often, which
// attributes they may carry and what their values must look like. Findings carry the
// codes of the schema validators ("cvc-complex-type.2.4.a").
void CheckStructure(const TDocument& doc, std::vector<TCheckFinding>& findings);

} // namespace checks
