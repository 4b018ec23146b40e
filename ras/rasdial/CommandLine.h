#pragma once

#include "ras/service/RasService.h"

#include "base/CoreException.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A command line that cannot be carried out as written: rasdial shows the usage hint.
ZELTIX_DECLARE_EXCEPTION(ERasdialUsage, ECoreException);

// How long rasdial waits for the service's lock unless --wait says otherwise. A person at a
// shell can wait that long; a lock held longer is held by a process that hangs or was stopped,
// which the message then names.
constexpr int64_t kRasdialLockWaitMs = 10000;

enum class TRasdialAction { raList, raDial, raHangUp, raPhonebook, raAdd, raRemove, raHelp };

struct TRasdialCommand {
    TRasdialAction Action = TRasdialAction::raList;
    std::string Entry; // ANSI
    TDialOptions Dial;
    std::optional<int64_t> LingerMs; // for a hang-up: replaces the stored linger time
    TPhonebookEntry NewEntry;        // for --add, defaults filled in
    int64_t LockWaitMs = kRasdialLockWaitMs;
};

// Reads the arguments after the program name. Names are taken as UTF-8 and turned into ANSI.
TRasdialCommand ParseCommandLine(const std::vector<std::string>& args);

extern const char* const kRasdialUsage;
