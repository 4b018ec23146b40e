#include "base/FormatSettings.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <map>
#include <memory>
#include <mutex>

namespace {

// One locale as read: its C library object and the settings taken from it. Entries are kept
// for the life of the process, so references handed out by FormatSettings() never dangle when
// a test switches locales.
struct TLocaleEntry {
    locale_t Locale = nullptr;
    std::string Codeset;
    TFormatSettings Settings;

    TLocaleEntry() = default;
    TLocaleEntry(const TLocaleEntry&) = delete;
    TLocaleEntry& operator=(const TLocaleEntry&) = delete;
    ~TLocaleEntry()
    {
        if (Locale)
            ::freelocale(Locale);
    }
};

bool IsUtf8(const std::string& codeset)
{
    return codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8";
}

QString Decode(std::string_view bytes, const std::string& codeset)
{
    if (bytes.empty())
        return {};
    if (IsUtf8(codeset))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Digits and separators are ASCII in every character set: no need to open a converter.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    iconv_t cd = ::iconv_open("UTF-8", codeset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Every input byte becomes at most four UTF-8 bytes; bytes iconv rejects are skipped.
    std::string out(bytes.size() * 4, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (::iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        ++in;
        --inLeft;
    }
    ::iconv_close(cd);
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size() - outLeft));
}

std::string Item(nl_item item, locale_t locale)
{
    const char* text = ::nl_langinfo_l(item, locale);
    return text ? std::string(text) : std::string();
}

std::unique_ptr<TLocaleEntry> ReadEntry(locale_t locale)
{
    auto entry = std::make_unique<TLocaleEntry>();
    entry->Locale = locale;
    entry->Codeset = Item(CODESET, locale);
    TFormatSettings& s = entry->Settings;
    s.LocaleName = Item(_NL_LOCALE_NAME(LC_TIME), locale);
    QString radix = Decode(Item(RADIXCHAR, locale), entry->Codeset);
    s.DecimalSeparator = radix.isEmpty() ? QChar(u'.') : radix.front();
    s.ShortDateFormat = Item(D_FMT, locale);
    s.LongTimeFormat = Item(T_FMT, locale);
    s.TimeAM = Decode(Item(AM_STR, locale), entry->Codeset).toStdString();
    s.TimePM = Decode(Item(PM_STR, locale), entry->Codeset).toStdString();
    return entry;
}

struct TRegistry {
    std::mutex Lock;
    std::map<std::string, std::unique_ptr<TLocaleEntry>> Named;
    std::unique_ptr<TLocaleEntry> Process;
    std::atomic<const TLocaleEntry*> Current{nullptr};

    TRegistry()
    {
        locale_t locale = ::newlocale(LC_ALL_MASK, "", nullptr);
        if (!locale)
            locale = ::newlocale(LC_ALL_MASK, "C", nullptr);
        Process = ReadEntry(locale);
        Current.store(Process.get());
    }
};

TRegistry& Registry()
{
    static TRegistry registry;
    return registry;
}

const TLocaleEntry& CurrentEntry()
{
    return *Registry().Current.load();
}

} // namespace

const TFormatSettings& FormatSettings()
{
    return CurrentEntry().Settings;
}

bool UseLocaleForFormats(const std::string& name)
{
    TRegistry& registry = Registry();
    std::lock_guard guard(registry.Lock);
    if (name.empty()) {
        registry.Current.store(registry.Process.get());
        return true;
    }
    auto found = registry.Named.find(name);
    if (found == registry.Named.end()) {
        locale_t locale = ::newlocale(LC_ALL_MASK, name.c_str(), nullptr);
        if (!locale)
            return false;
        found = registry.Named.emplace(name, ReadEntry(locale)).first;
    }
    registry.Current.store(found->second.get());
    return true;
}

locale_t FormatLocale()
{
    return CurrentEntry().Locale;
}

QString FormatLocaleText(std::string_view bytes)
{
    return Decode(bytes, CurrentEntry().Codeset);
}
