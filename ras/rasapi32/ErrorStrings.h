#pragma once

#include "ras/service/RasRecords.h"

// The English text for a dial-up result code, or nullptr for a code the library does not know.
const char* RasErrorText(DWORD code);
