#pragma once

#include <string>

// The folder that holds the phonebook and the connection table: $ZELTIX_RAS_DIR if set,
// else $XDG_CONFIG_HOME/zeltix-ras, else $HOME/.config/zeltix-ras. Read afresh at every call,
// as the environment may change between calls.
std::string ResolveRasFolder();
