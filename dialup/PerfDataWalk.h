#pragma once

#include "platform/WinTypes.h"

#include <span>

// What the walk over a performance data block meets, in order.
class TPerfDataVisitor {
public:
    virtual ~TPerfDataVisitor();
    // Before each object.
    virtual void Object() { }
    // After each counter definition collected.
    virtual void Definition() { }
    // A bytes-transmitted (872) or bytes-received (874) value in a counter block.
    virtual void Counter(DWORD /*TitleIndex*/, DWORD /*Value*/) { }
};

// Walks every object of the block, its counter definitions and its counter blocks (one per
// instance, or a single one for an object without instances), checking every offset and length
// against the block's bytes. False for a block that does not hold together, that has no objects
// or that has an object of more than 50 counter definitions; the visitor may then have been
// told part of it, so a caller that must not act on a bad block walks it once without acting.
bool WalkPerfData(std::span<const BYTE> Block, TPerfDataVisitor& Visitor);
