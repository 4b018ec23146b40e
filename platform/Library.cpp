#include "platform/Library.h"

#include "platform/ProgramDir.h"
#include "platform/Seams.h"

#include <algorithm>
#include <cctype>
#include <dlfcn.h>
#include <filesystem>

#ifndef ZELTIX_LIBDIR
#define ZELTIX_LIBDIR "/usr/local/lib/zeltix"
#endif

namespace {

// "rasapi32.dll" -> "librasapi32.so"; a name without an extension gets one, as on Windows.
std::string SharedObjectName(std::string name)
{
    std::transform(
        name.begin(), name.end(), name.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0)
        name.resize(name.size() - 4);
    return "lib" + name + ".so";
}

} // namespace

std::vector<std::string> LibrarySearchPath()
{
    if (const std::vector<std::string>& chosen = PlatformSeams().LibrarySearchPath; !chosen.empty())
        return chosen;
    return {ProgramDir().toStdString(), ZELTIX_LIBDIR};
}

HMODULE LoadLibraryA(LPCSTR fileName)
{
    if (!fileName || !*fileName)
        return nullptr;
    std::string name = fileName;
    // A name with a folder is loaded from there only.
    if (name.find('/') != std::string::npos)
        return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::string soName = SharedObjectName(name);
    for (const std::string& folder : LibrarySearchPath()) {
        std::filesystem::path candidate = std::filesystem::path(folder) / soName;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(candidate, ec))
            continue;
        if (HMODULE module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL))
            return module;
    }
    return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName)
{
    if (!module || !procName)
        return nullptr;
    return reinterpret_cast<FARPROC>(::dlsym(module, procName));
}

BOOL FreeLibrary(HMODULE module)
{
    return module && ::dlclose(module) == 0 ? TRUE : FALSE;
}
