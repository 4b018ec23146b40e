#pragma once

// The system error codes the platform's functions answer with. The dial-up records already
// publish the codes they share with them, so both headers can be included together.
#include "ras/service/RasRecords.h"

constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
