#include "platform/Profile.h"

#include "base/AtomicFile.h"
#include "base/IniDocument.h"
#include "base/ReadFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// What tells one version of a file from another without reading it.
struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    timespec Changed{};

    bool operator==(const TFileIdentity& o) const
    {
        return Device == o.Device && Inode == o.Inode && Size == o.Size && Modified.tv_sec == o.Modified.tv_sec &&
            Modified.tv_nsec == o.Modified.tv_nsec && Changed.tv_sec == o.Changed.tv_sec &&
            Changed.tv_nsec == o.Changed.tv_nsec;
    }
};

std::optional<TFileIdentity> IdentityOf(LPCSTR fileName)
{
    struct stat info { };
    if (::stat(fileName, &info) != 0)
        return std::nullopt;
    return TFileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// The documents of the files read last, each kept while its file stays as it was: a handler
// that reads key after key parses its file once, however large it is.
struct TCachedDocument {
    std::string Path;
    TFileIdentity Identity;
    TIniDocument Document;
};
constexpr size_t CachedFiles = 4;
std::vector<TCachedDocument>& Cache()
{
    static std::vector<TCachedDocument> cache;
    return cache;
}

void Forget(LPCSTR fileName)
{
    auto& cache = Cache();
    cache.erase(
        std::remove_if(cache.begin(), cache.end(), [&](const TCachedDocument& c) { return c.Path == fileName; }),
        cache.end());
}

// The file's document. A file that does not exist is an empty one; one that cannot be read
// (no regular file, too large, no permission) is none, and why goes to *why.
TIniDocument* LoadDocument(LPCSTR fileName, std::string* why = nullptr)
{
    static TIniDocument empty;
    const std::optional<TFileIdentity> identity = IdentityOf(fileName);
    auto& cache = Cache();
    if (identity) {
        for (TCachedDocument& cached : cache)
            if (cached.Path == fileName && cached.Identity == *identity)
                return &cached.Document;
    }
    Forget(fileName);
    std::string bytes;
    if (!ReadWholeFile(fileName, bytes, MaxProfileFileBytes, why)) {
        if (errno != ENOENT)
            return nullptr;
        empty = TIniDocument();
        return &empty;
    }
    if (cache.size() >= CachedFiles)
        cache.erase(cache.begin());
    // Taken as it was before the read: a change that came during it shows as another version.
    cache.push_back({fileName, identity.value_or(TFileIdentity{}), TIniDocument::Parse(std::move(bytes))});
    return &cache.back().Document;
}

} // namespace

std::string ProfileReadFailure(LPCSTR fileName)
{
    std::string why;
    return LoadDocument(fileName, &why) ? std::string() : why;
}

namespace {

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
    static const TIniDocument none;
    const TIniDocument* loaded = fileName ? LoadDocument(fileName) : nullptr;
    const TIniDocument& doc = loaded ? *loaded : none;
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
    const TIniDocument* doc = appName && keyName && fileName ? LoadDocument(fileName) : nullptr;
    if (!doc)
        return static_cast<UINT>(defaultValue);
    std::optional<std::string> value = doc->Value(appName, keyName);
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
    TIniDocument* doc = LoadDocument(fileName);
    if (!doc)
        return FALSE;
    if (!keyName)
        doc->DeleteSection(appName);
    else if (!value)
        doc->DeleteKey(appName, keyName);
    else
        doc->SetValue(appName, keyName, value);
    const bool written =
        WriteFileAtomicallyInPieces(fileName, [doc](const TPieceWriter& write) { return doc->Serialize(write); });
    const int error = errno;
    // The document now holds the change: kept for the file that holds it too, forgotten when
    // the file could not take it.
    const std::optional<TFileIdentity> identity = written ? IdentityOf(fileName) : std::nullopt;
    auto& cache = Cache();
    auto it = std::find_if(cache.begin(), cache.end(), [&](const TCachedDocument& c) { return &c.Document == doc; });
    if (it != cache.end() && identity) {
        it->Identity = *identity;
    } else if (it != cache.end()) {
        cache.erase(it);
    } else if (identity) {
        if (cache.size() >= CachedFiles)
            cache.erase(cache.begin());
        cache.push_back({fileName, *identity, std::move(*doc)});
    }
    errno = error;
    return written ? TRUE : FALSE;
}
