#include "dialup/Seams.h"

namespace {

// Made before any code runs and never destroyed, so the release of the binding at program end
// still finds it.
constinit TDialUpSeams Seams;

} // namespace

TDialUpSeams& DialUpSeams()
{
    return Seams;
}
