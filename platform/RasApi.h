#pragma once

// The dial-up library's records, constants and functions as the platform publishes them, the
// counterpart of the system's ras.h: the program's dial-up code includes this header and loads
// the functions from librasapi32.so by name. The declarations live with the stand-in service
// that implements them, so that both sides agree byte for byte.
#include "ras/service/RasRecords.h"
