// The performance data block the NT statistics walk: every offset and length is checked, and
// walking the same block twice meets the same things.

#include "dialup/PerfDataWalk.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class TRecorder : public TPerfDataVisitor {
public:
    void Object() override { Seen.push_back(1); }
    void Definition() override { Seen.push_back(2); }
    void Counter(DWORD TitleIndex, DWORD Value) override
    {
        Seen.push_back(TitleIndex);
        Seen.push_back(Value);
    }
    std::vector<DWORD> Seen;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy of exactly the input's size, so a read past the block is caught.
    std::vector<BYTE> block(data, data + size);
    TRecorder first, second;
    const bool whole = WalkPerfData(block, first);
    if (WalkPerfData(block, second) != whole || first.Seen != second.Seen)
        std::abort();
    return 0;
}
