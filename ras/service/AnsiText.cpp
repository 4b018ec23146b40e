#include "ras/service/AnsiText.h"

#include <cerrno>
#include <iconv.h>

namespace {

bool IsUndefinedAnsiByte(unsigned char c)
{
    return c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
}

class TIconv {
public:
    TIconv(const char* to, const char* from) : FHandle(::iconv_open(to, from)) {}
    ~TIconv()
    {
        if (Valid())
            ::iconv_close(FHandle);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    bool Valid() const { return FHandle != reinterpret_cast<iconv_t>(-1); }

    // Converts as much as it can; stops at the first sequence it cannot convert and leaves
    // `in` pointing there. Returns false on such a stop.
    bool Convert(std::string_view& in, std::string& out)
    {
        char buffer[256];
        while (!in.empty()) {
            char* src = const_cast<char*>(in.data());
            size_t srcLeft = in.size();
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            size_t rc = ::iconv(FHandle, &src, &srcLeft, &dst, &dstLeft);
            int error = errno;
            out.append(buffer, static_cast<size_t>(dst - buffer));
            in.remove_prefix(in.size() - srcLeft);
            if (rc == static_cast<size_t>(-1) && error != E2BIG)
                return false;
        }
        return true;
    }

private:
    iconv_t FHandle;
};

} // namespace

std::string AnsiToUtf8(std::string_view ansi)
{
    TIconv cd("UTF-8", "WINDOWS-1252");
    std::string out;
    while (cd.Valid() && !cd.Convert(ansi, out)) {
        // Only the undefined bytes stop a Windows-1252 decoder: they become U+0081 and so on.
        unsigned char c = static_cast<unsigned char>(ansi.front());
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
        ansi.remove_prefix(1);
    }
    if (!cd.Valid()) // no converter installed: keep ASCII readable at least
        for (char c : ansi)
            out += (static_cast<unsigned char>(c) < 0x80) ? c : '?';
    return out;
}

std::optional<std::string> Utf8ToAnsi(std::string_view utf8)
{
    TIconv cd("WINDOWS-1252", "UTF-8");
    if (!cd.Valid())
        return std::nullopt;
    std::string out;
    while (!cd.Convert(utf8, out)) {
        // A two-byte sequence for one of the undefined bytes maps back to that byte.
        if (utf8.size() >= 2 && static_cast<unsigned char>(utf8[0]) == 0xC2) {
            unsigned char c = static_cast<unsigned char>(utf8[1]);
            if (IsUndefinedAnsiByte(c)) {
                out += static_cast<char>(c);
                utf8.remove_prefix(2);
                continue;
            }
        }
        return std::nullopt;
    }
    return out;
}

QString AnsiToQString(std::string_view ansi)
{
    return QString::fromStdString(AnsiToUtf8(ansi));
}
