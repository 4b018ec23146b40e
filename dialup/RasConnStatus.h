#pragma once

struct tagRASCONNSTATUSA;

// The platform's connection status record (RASCONNSTATUSA of platform/RasApi.h), as the dial-up
// component's OnActiveConnection event hands it out. Declared apart so that the main window
// can name it without the whole component.
using TRasConnStatusA = tagRASCONNSTATUSA;
