#include "platform/Shell.h"

#include "base/Ansi.h"
#include "platform/Seams.h"

#include <QDesktopServices>
#include <QUrl>

#include <cstdint>
#include <cstring>

namespace {

std::optional<std::string> TextOf(LPCSTR text)
{
    if (!text)
        return std::nullopt;
    return std::string(text);
}

HINSTANCE ResultOf(uintptr_t code)
{
    return reinterpret_cast<HINSTANCE>(code);
}

// Any value above 32 means success; 42 is what the platform commonly hands back.
constexpr uintptr_t ShellSuccess = 42;

} // namespace

HINSTANCE ShellExecuteA(
    HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory, INT nShowCmd)
{
    if (const auto recorder = PlatformSeams().ShellExecuteRecorder) {
        recorder({hwnd, TextOf(lpOperation), TextOf(lpFile), TextOf(lpParameters), TextOf(lpDirectory), nShowCmd});
        return ResultOf(ShellSuccess);
    }
    if (!lpFile || !*lpFile)
        return ResultOf(SE_ERR_FNF);
    // Only opening has a meaning for an address; other verbs have no handler registered.
    if (lpOperation && std::strcmp(lpOperation, "open") != 0 && std::strcmp(lpOperation, "explore") != 0)
        return ResultOf(SE_ERR_NOASSOC);
    const QUrl url = QUrl::fromUserInput(AnsiToString(lpFile));
    if (!url.isValid() || !QDesktopServices::openUrl(url))
        return ResultOf(SE_ERR_NOASSOC);
    return ResultOf(ShellSuccess);
}
