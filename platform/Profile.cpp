#include "platform/Profile.h"

#include "base/AtomicFile.h"
#include "base/IniDocument.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// A file that does not exist reads as an empty document; one that cannot be read as none.
bool LoadDocument(LPCSTR fileName, TIniDocument& doc)
{
    std::string bytes;
    if (!ReadWholeFile(fileName, bytes)) {
        if (errno != ENOENT)
            return false;
        bytes.clear();
    }
    doc = TIniDocument::Parse(bytes);
    return true;
}

DWORD CopyOut(const std::string& text, LPSTR returned, DWORD size)
{
    if (!returned || size == 0)
        return 0;
    DWORD n = static_cast<DWORD>(std::min<size_t>(text.size(), size - 1));
    std::memcpy(returned, text.data(), n);
    returned[n] = '\0';
    return n;
}

// A list of names, each ended by NUL and the list by a second NUL. A list that does not fit is
// cut at the buffer's end, still ended by two NULs. The count leaves out the final NUL.
DWORD CopyOutList(const std::vector<std::string>& names, LPSTR returned, DWORD size)
{
    if (!returned || size == 0)
        return 0;
    std::string list;
    for (const std::string& name : names) {
        list += name;
        list += '\0';
    }
    if (list.size() + 1 <= size) {
        std::memcpy(returned, list.data(), list.size());
        returned[list.size()] = '\0';
        if (list.empty() && size >= 2)
            returned[1] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        returned[0] = '\0';
        return 0;
    }
    std::memcpy(returned, list.data(), size - 2);
    returned[size - 2] = '\0';
    returned[size - 1] = '\0';
    return size - 2;
}

} // namespace

DWORD GetPrivateProfileStringA(
    LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue, LPSTR returned, DWORD size, LPCSTR fileName)
{
    TIniDocument doc;
    if (!fileName || !LoadDocument(fileName, doc))
        doc = TIniDocument();
    if (!appName)
        return CopyOutList(doc.SectionNames(), returned, size);
    if (!keyName)
        return CopyOutList(doc.KeyNames(appName), returned, size);
    if (std::optional<std::string> value = doc.Value(appName, keyName))
        return CopyOut(*value, returned, size);
    std::string def = defaultValue ? defaultValue : "";
    while (!def.empty() && def.back() == ' ')
        def.pop_back();
    return CopyOut(def, returned, size);
}

UINT GetPrivateProfileIntA(LPCSTR appName, LPCSTR keyName, int defaultValue, LPCSTR fileName)
{
    TIniDocument doc;
    if (!appName || !keyName || !fileName || !LoadDocument(fileName, doc))
        return static_cast<UINT>(defaultValue);
    std::optional<std::string> value = doc.Value(appName, keyName);
    if (!value)
        return static_cast<UINT>(defaultValue);
    const char* p = value->c_str();
    bool negative = false;
    if (*p == '-' || *p == '+')
        negative = *p++ == '-';
    int64_t result = 0;
    while (*p >= '0' && *p <= '9') {
        result = result * 10 + (*p++ - '0');
        if (result > 0xFFFFFFFFLL)
            result = 0xFFFFFFFFLL;
    }
    return static_cast<UINT>(negative ? -result : result);
}

BOOL WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName)
{
    if (!appName || !fileName)
        return FALSE;
    TIniDocument doc;
    if (!LoadDocument(fileName, doc))
        return FALSE;
    if (!keyName)
        doc.DeleteSection(appName);
    else if (!value)
        doc.DeleteKey(appName, keyName);
    else
        doc.SetValue(appName, keyName, value);
    return WriteFileAtomically(fileName, doc.Serialize()) ? TRUE : FALSE;
}
