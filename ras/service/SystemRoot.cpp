#include "ras/service/SystemRoot.h"

#include "ras/service/ServiceSeams.h"

#include <cstdlib>

std::string SystemRoot()
{
    std::string root = ServiceSeams().SystemRoot;
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
