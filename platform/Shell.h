#pragma once

#include "platform/WinTypes.h"
#include "platform/Windows.h" // the ShowWindow commands (SW_SHOWNORMAL)

#include <optional>
#include <string>

// The shell's "open a document or address" call. On Linux the desktop's default handler opens
// the address (QDesktopServices::openUrl): a web address starts the browser, "mailto:" the mail
// program. The result is greater than 32 on success and an error code of 32 or less otherwise.
HINSTANCE ShellExecuteA(
    HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory, INT nShowCmd);

#define SE_ERR_FNF 2
#define SE_ERR_NOASSOC 31

// One call of ShellExecuteA as the program made it; a null text argument is no value.
struct TShellExecuteCall {
    HWND Window = nullptr;
    std::optional<std::string> Operation;
    std::optional<std::string> File;
    std::optional<std::string> Parameters;
    std::optional<std::string> Directory;
    INT ShowCmd = 0;
};
