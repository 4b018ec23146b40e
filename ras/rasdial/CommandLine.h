#pragma once

#include "ras/service/RasService.h"

#include "base/CoreException.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A command line that cannot be carried out as written: rasdial shows the usage hint.
ZELTIX_DECLARE_EXCEPTION(ERasdialUsage, ECoreException);

enum class TRasdialAction { raList, raDial, raHangUp, raPhonebook, raAdd, raRemove, raHelp };

struct TRasdialCommand {
    TRasdialAction Action = TRasdialAction::raList;
    std::string Entry; // ANSI
    TDialOptions Dial;
    std::optional<int64_t> LingerMs; // for a hang-up: replaces the stored linger time
    TPhonebookEntry NewEntry;        // for --add, defaults filled in
};

// Reads the arguments after the program name. Names are taken as UTF-8 and turned into ANSI.
TRasdialCommand ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kRasdialUsage;
