#pragma once

#include "app/Dialogs.h"

// What a test may put in place of the program's own dialogs. The program reads it here and
// nowhere else, so a test that saves the whole object and puts it back leaves nothing behind.
struct TAppSeams {
    // While set, every dialog goes to the answerer instead of the screen.
    TDialogAnswerer DialogAnswerer;
};

TAppSeams& AppSeams();
