#pragma once

#include <QString>

// The program's string resource with this identifier, or the empty string when there is none.
// The table is read from the program's resources on first use and kept for the whole run.
QString LoadStr(int Ident);
