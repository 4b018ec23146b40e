#pragma once

#include "ras/rasdial/CommandLine.h"
#include "ras/service/RasService.h"

#include <cstdint>
#include <ostream>

// Carries out a parsed command against the service at the given time, writing what it did
// to `out`. Failures throw the service's exceptions.
void RunRasdialCommand(const TRasdialCommand& command, TRasService& service, int64_t nowMs, std::ostream& out);
