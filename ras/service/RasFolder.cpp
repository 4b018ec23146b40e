#include "ras/service/RasFolder.h"

#include "ras/service/RasErrors.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

const char* NonEmptyEnv(const char* name)
{
    const char* value = std::getenv(name);
    return (value && *value) ? value : nullptr;
}

std::string HomeFolder()
{
    if (const char* home = NonEmptyEnv("HOME"))
        return home;
    // A service started without a login environment still has a home in the password database.
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
        *found->pw_dir)
        return found->pw_dir;
    throw ERasService("Cannot find the home folder for the dial-up settings (HOME is not set)");
}

} // namespace

std::string ResolveRasFolder()
{
    if (const char* dir = NonEmptyEnv("ZELTIX_RAS_DIR"))
        return dir;
    // XDG says a relative XDG_CONFIG_HOME is invalid and must be ignored.
    const char* config = NonEmptyEnv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/zeltix-ras";
    return HomeFolder() + "/.config/zeltix-ras";
}
