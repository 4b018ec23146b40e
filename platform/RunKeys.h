#pragma once

#include "platform/RegistryKeys.h"

#include <memory>
#include <string>
#include <string_view>

// The autostart keys of HKEY_LOCAL_MACHINE, kept in files below the desktop's configuration
// folder (see Registry.h).

// $XDG_CONFIG_HOME, or ~/.config, unless a test has named another folder.
std::string RegistryConfigHome();
// A folder can be written when it is a writable folder, or when it does not exist yet and the
// nearest existing folder above it can be written.
bool FolderWritable(const std::string& path);

std::unique_ptr<TRegistryKey> OpenRunKey(std::string_view Path);
std::unique_ptr<TRegistryKey> OpenRunOnceKey(std::string_view Path);

// The Exec line of a .desktop file for a command line, and back. A command line that is one
// program path is quoted where the desktop's rules want it; one that already starts with a
// quote is taken as it stands.
std::string ExecFromCommandLine(std::string_view commandLine);
std::string CommandLineFromExec(std::string_view exec);
