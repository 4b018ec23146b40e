#include "ras/service/PppPeers.h"

#include "ras/service/AnsiText.h"
#include "ras/service/BoundedFile.h"
#include "ras/service/FileCache.h"
#include "ras/service/RasRecords.h"
#include "ras/service/ReportOnce.h"
#include "ras/service/SystemRoot.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sys/stat.h>

namespace {

// pppd's options that take the next word as their argument, so that "mtu 1492" or
// "holdoff 30" is never taken for a speed or a device.
constexpr std::string_view kOptionsWithArgument[] = {
    "active-filter",
    "asyncmap",
    "bsdcomp",
    "call",
    "chap-interval",
    "chap-max-challenge",
    "chap-restart",
    "chap-timeout",
    "connect",
    "connect-delay",
    "defaultroute-metric",
    "deflate",
    "disconnect",
    "domain",
    "eap-interval",
    "eap-max-rreq",
    "eap-max-sreq",
    "eap-restart",
    "eap-timeout",
    "endpoint",
    "escape",
    "file",
    "holdoff",
    "host-uniq",
    "idle",
    "ifname",
    "init",
    "ip-down-script",
    "ip-up-script",
    "ipcp-max-configure",
    "ipcp-max-failure",
    "ipcp-max-terminate",
    "ipcp-restart",
    "ipparam",
    "ipv6",
    "ipv6-down-script",
    "ipv6-up-script",
    "ipv6cp-max-configure",
    "ipv6cp-max-failure",
    "ipv6cp-max-terminate",
    "ipv6cp-restart",
    "ipx-network",
    "kdebug",
    "lcp-echo-failure",
    "lcp-echo-interval",
    "lcp-max-configure",
    "lcp-max-failure",
    "lcp-max-terminate",
    "lcp-restart",
    "linkname",
    "logfd",
    "logfile",
    "maxconnect",
    "maxfail",
    "mrru",
    "ms-dns",
    "ms-wins",
    "mru",
    "mtu",
    "name",
    "netmask",
    "pap-max-authreq",
    "pap-restart",
    "pap-timeout",
    "pass-filter",
    "password",
    "persist-holdoff",
    "plugin",
    "pppoe-ac",
    "pppoe-mac",
    "pppoe-padi-attempts",
    "pppoe-padi-timeout",
    "pppoe-service",
    "predictor1",
    "pty",
    "record",
    "remotename",
    "remotenumber",
    "rp_pppoe_ac",
    "rp_pppoe_mac",
    "rp_pppoe_service",
    "rp_pppoe_sess",
    "socket",
    "unit",
    "user",
    "vj-max-slots",
    "welcome",
};

// The line rates a serial port can be set to; any other number is not a speed.
constexpr uint32_t kBaudRates[] = {
    50,
    75,
    110,
    134,
    150,
    200,
    300,
    600,
    1200,
    1800,
    2400,
    4800,
    9600,
    19200,
    38400,
    57600,
    115200,
    230400,
    460800,
    500000,
    576000,
    921600,
    1000000,
    1152000,
    1500000,
    2000000,
    2500000,
    3000000,
    3500000,
    4000000,
};

bool TakesArgument(std::string_view option)
{
    return std::find(std::begin(kOptionsWithArgument), std::end(kOptionsWithArgument), option) !=
        std::end(kOptionsWithArgument);
}

// The words of an options file as pppd reads them: blanks separate, "#" starts a comment,
// quotes group and a backslash takes the next character literally.
std::vector<std::string> Words(std::string_view text)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c <= ' ') {
            ++i;
            continue;
        }
        if (c == '#') {
            i = text.find('\n', i);
            if (i == text.npos)
                break;
            continue;
        }
        std::string word;
        char quote = 0;
        for (; i < text.size(); ++i) {
            char ch = text[i];
            if (ch == '\\' && i + 1 < text.size()) {
                word += text[++i];
            } else if (quote) {
                if (ch == quote)
                    quote = 0;
                else
                    word += ch;
            } else if (ch == '"' || ch == '\'') {
                quote = ch;
            } else if (static_cast<unsigned char>(ch) <= ' ') {
                break;
            } else {
                word += ch;
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

std::optional<uint32_t> BaudRate(std::string_view word)
{
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size())
        return std::nullopt;
    if (std::find(std::begin(kBaudRates), std::end(kBaudRates), value) == std::end(kBaudRates))
        return std::nullopt;
    return value;
}

bool IsPppoePlugin(std::string_view path)
{
    std::string_view base = path.substr(path.rfind('/') + 1);
    return base == "rp-pppoe.so" || base == "pppoe.so";
}

bool IsDecimal(std::string_view text)
{
    return !text.empty() && text.size() < 10 &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// What a pty or socket peer talks through, as the device name: the command or address; the
// option's own name when that cannot be a device name.
std::string CommandDevice(const std::string& option, const std::string& argument)
{
    return DeviceName(argument).value_or(option);
}

struct TParsedPeer {
    TPppPeer Peer;
    bool AsksInterfaces = false;
};

} // namespace

namespace {

bool HasControlCharacters(std::string_view text)
{
    return std::any_of(
        text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

} // namespace

std::optional<std::string> EntryName(std::string_view name)
{
    if (name.empty() || name.front() == '.' || HasControlCharacters(name))
        return std::nullopt;
    std::optional<std::string> ansi = Utf8ToAnsi(name);
    if (!ansi || ansi->size() > RAS_MaxEntryName)
        return std::nullopt;
    return ansi;
}

std::optional<std::string> DeviceName(std::string_view name)
{
    if (name.empty() || HasControlCharacters(name))
        return std::nullopt;
    std::optional<std::string> ansi = Utf8ToAnsi(name);
    if (!ansi || ansi->empty())
        return std::nullopt;
    // A longer name is still the device; the records show as much of it as they hold.
    ansi->resize(std::min<size_t>(ansi->size(), RAS_MaxDeviceName));
    return ansi;
}

TPppPeer ParsePeerFile(
    std::string_view fileName, std::string_view bytes, const std::function<bool(const std::string&)>& isInterface)
{
    TPppPeer peer;
    peer.FileName = fileName;
    peer.Name = EntryName(fileName).value_or(std::string(fileName));
    std::string serial, nic, command;
    std::vector<std::string> bareWords;
    bool pppoe = false;
    std::vector<std::string> words = Words(bytes);
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (TakesArgument(word)) {
            if (i + 1 >= words.size())
                break;
            const std::string& argument = words[++i];
            if (word == "plugin" && IsPppoePlugin(argument))
                pppoe = true;
            else if (word == "linkname")
                peer.LinkName = argument;
            else if (word == "ifname")
                peer.Interface = argument;
            else if (word == "unit" && IsDecimal(argument) && peer.Interface.empty())
                peer.Interface = "ppp" + argument;
            else if (word == "pty" || word == "socket")
                command = CommandDevice(word, argument);
        } else if (word.starts_with("nic-") && word.size() > 4) {
            nic = DeviceName(word.substr(4)).value_or(nic);
        } else if (word.starts_with("/dev/") && word.size() > 5) {
            if (serial.empty())
                serial = DeviceName(word).value_or("");
        } else if (word.starts_with("tty") && word.find('/') == word.npos) {
            if (serial.empty())
                serial = DeviceName("/dev/" + word).value_or("");
        } else if (std::optional<uint32_t> speed = BaudRate(word)) {
            peer.Speed = *speed;
        } else {
            bareWords.push_back(word);
        }
    }
    if (pppoe) {
        peer.DeviceType = "PPPoE";
        if (nic.empty())
            for (const std::string& word : bareWords)
                if (word.find('/') == word.npos && word.size() < 16 && isInterface(word)) {
                    nic = DeviceName(word).value_or("");
                    break;
                }
        peer.DeviceName = nic;
    } else {
        // A peer without a device line uses pppd's own terminal, still a serial line.
        peer.DeviceType = "modem";
        // pppd talks through the command or socket instead of any serial device given.
        peer.DeviceName = command.empty() ? serial : command;
    }
    peer.DeviceType.resize(std::min<size_t>(peer.DeviceType.size(), RAS_MaxDeviceType));
    return peer;
}

std::vector<TPppPeer> ReadPppPeers()
{
    const std::string folder = SystemPath("/etc/ppp/peers");
    TFileCache& cache = TFileCache::Shared();
    const TCachedFolder listing = cache.List(folder);
    if (!listing.Names) {
        // No folder means no peers. One that is there but cannot be read hides the peers: that
        // is said once per process, where a library's messages go (the terminal, or the
        // session's journal for a program started from the desktop).
        if (listing.Error != ENOENT)
            ReportOnce(folder,
                "zeltix-ras: " + folder + " cannot be read (" + std::strerror(listing.Error) +
                    "): its pppd peers are not listed. Debian lets the group dip read it.");
        return {};
    }

    auto isInterface = [](const std::string& name) {
        struct stat info;
        return ::stat(SystemPath("/sys/class/net/" + name).c_str(), &info) == 0;
    };
    std::vector<TPppPeer> peers;
    for (const std::string& fileName : *listing.Names) {
        if (!EntryName(fileName))
            continue;
        // A peer whose device is a bare word depends on the interfaces present, not only on its
        // file: that one is parsed at every call, any other once per version of its file.
        TCachedFile file;
        std::shared_ptr<const TParsedPeer> parsed = cache.Parsed<TParsedPeer>(
            folder + "/" + fileName, file,
            [&](std::string_view bytes) {
                TParsedPeer result;
                result.Peer = ParsePeerFile(fileName, bytes, [&](const std::string& name) {
                    result.AsksInterfaces = true;
                    return isInterface(name);
                });
                return result;
            },
            kMaxSystemFileBytes, true);
        if (!parsed)
            continue;
        if (parsed->AsksInterfaces)
            peers.push_back(ParsePeerFile(fileName, *file.Bytes, isInterface));
        else
            peers.push_back(parsed->Peer);
    }
    return peers;
}
