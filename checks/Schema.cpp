#include "checks/Schema.h"

namespace checks {

void CheckStructure(const TDocument&, std::vector<TCheckFinding>&)
{
}

} // namespace checks
