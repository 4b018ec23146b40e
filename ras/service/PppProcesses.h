#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A number that is the whole of `text` but for trailing blanks and line breaks, as the kernel's
// and pppd's files write them; decimal, or hexadecimal with or without "0x".
template <typename T>
std::optional<T> ProcNumber(std::string_view text, int base = 10)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    if (base == 16 && text.starts_with("0x"))
        text.remove_prefix(2);
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// What /proc/<pid>/stat tells of a process: its name (the kernel's comm) and its start time
// (field 22, clock ticks after boot), which with the pid is the process's identity.
struct TProcStat {
    std::string_view Name;
    uint64_t StartTime = 0;
};

// Nothing for a text that does not parse, or for a process that has ended but has not been
// reaped (state Z or X): it is no longer running.
std::optional<TProcStat> ParseProcStat(std::string_view stat);

// "pppd call NAME" or "pppd file /etc/ppp/peers/NAME": the peer file a command line names.
std::optional<std::string> CalledPeer(std::string_view cmdline);

// A running pppd whose command line calls a peer.
struct TPppdProcess {
    std::string Peer; // the peer file's name
    int Pid = 0;
    uint64_t StartTime = 0;
};

// The pppd processes below the system root's /proc that call a peer, as they are now.
// Over the kernel's own /proc of this process's pid namespace, what was read is kept: a process
// is read when it is new (its pid was handed out since the last search, which the kernel's pid
// counter in /proc/loadavg tells, so a reused pid is read anew), again at the next search while
// it is young enough to be on its way to exec pppd (pon, a service manager's or NetworkManager's
// child), and otherwise about once a minute of searches, as a process may exec pppd at any age.
// A pppd found is read at every search, so none that ended is reported. Any other /proc (a tree
// of plain files) is read whole every time.
std::vector<TPppdProcess> SearchPppdProcesses(int64_t nowMs);

// How many times the process list has been searched in this process, and how many process
// folders those searches have read, for the tests and the benchmarks.
uint64_t PppProcessScans();
uint64_t PppProcessReads();
