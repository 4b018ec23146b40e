#include "ras/service/SystemRoot.h"

#include <cstdlib>

namespace {

std::string RootOverride;

} // namespace

std::string SystemRoot()
{
    std::string root = RootOverride;
    if (root.empty()) {
        // The stand-in platform may honour a setting of its own, as it does ZELTIX_RAS_DIR.
        if (const char* env = std::getenv("ZELTIX_SYSTEM_ROOT"))
            root = env;
    }
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root;
}

std::string SystemPath(std::string_view path)
{
    return SystemRoot() + std::string(path);
}

void SetSystemRootForTests(const std::string& root)
{
    RootOverride = root;
}
