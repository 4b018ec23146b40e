#include "tests/support/PppTree.h"

#include "ras/service/SystemRoot.h"
#include "tests/support/ChildProcess.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

TPppTree::TPppTree()
{
    for (const char* folder : {"/etc/ppp/peers", "/run", "/var/run", "/proc/net", "/sys/class/net"})
        fs::create_directories(Root() + folder);
    Write("/proc/net/route", "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n");
    FService->SystemRoot = Root();
    if (const char* old = std::getenv("ZELTIX_SYSTEM_ROOT")) {
        FOldEnvironment = old;
        FHadEnvironment = true;
    }
    ::setenv("ZELTIX_SYSTEM_ROOT", Root().c_str(), 1);
}

TPppTree::~TPppTree()
{
    if (FHadEnvironment)
        ::setenv("ZELTIX_SYSTEM_ROOT", FOldEnvironment.c_str(), 1);
    else
        ::unsetenv("ZELTIX_SYSTEM_ROOT");
}

void TPppTree::Write(const std::string& path, const std::string& bytes) const
{
    fs::create_directories(fs::path(Root() + path).parent_path());
    FDir.Write(path.substr(1), bytes);
}

void TPppTree::Peer(const std::string& name, const std::string& options) const
{
    Write("/etc/ppp/peers/" + name, options);
}

void TPppTree::PidFile(
    const std::string& linkName, int pid, const std::string& interface, const std::string& folder) const
{
    Write(
        folder + "/ppp-" + linkName + ".pid", std::to_string(pid) + "\n" + (interface.empty() ? "" : interface + "\n"));
}

void TPppTree::Process(int pid, const std::string& comm, uint64_t startTime, const std::string& cmdline) const
{
    const std::string folder = "/proc/" + std::to_string(pid);
    Write(folder + "/comm", comm + "\n");
    // The name in parentheses may hold blanks and parentheses; the start time is field 22.
    std::string stat = std::to_string(pid) + " (" + comm + ") S 1 1 1 0 -1 4194560 1 0 0 0 0 0 0 0 20 0 1 0 " +
        std::to_string(startTime) + " 1000 100\n";
    Write(folder + "/stat", stat);
    std::string args = cmdline;
    for (char& c : args)
        if (c == ' ')
            c = '\0';
    Write(folder + "/cmdline", args + '\0');
}

void TPppTree::RealProcess(pid_t pid) const
{
    fs::create_directory_symlink("/proc/" + std::to_string(pid), Root() + "/proc/" + std::to_string(pid));
}

void TPppTree::RemoveProcess(int pid) const
{
    fs::remove_all(Root() + "/proc/" + std::to_string(pid));
}

void TPppTree::Interface(const std::string& name, const std::string& operstate, unsigned flags, uint64_t txBytes,
    uint64_t rxBytes, bool routed) const
{
    constexpr unsigned kIffRunning = 0x40;
    const std::string folder = "/sys/class/net/" + name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%x", flags & ~kIffRunning);
    Write(folder + "/operstate", operstate + "\n");
    Write(folder + "/flags", std::string(hex) + "\n");
    Write(folder + "/carrier", (flags & kIffRunning) ? "1\n" : "0\n");
    Write(folder + "/statistics/tx_bytes", std::to_string(txBytes) + "\n");
    Write(folder + "/statistics/rx_bytes", std::to_string(rxBytes) + "\n");
    std::string routes = FDir.Read("proc/net/route");
    if (routed)
        routes += name + "\t0100000A\t00000000\t0005\t0\t0\t0\tFFFFFFFF\n";
    Write("/proc/net/route", routes);
}

void TPppTree::RemoveInterface(const std::string& name) const
{
    fs::remove_all(Root() + "/sys/class/net/" + name);
    Write("/proc/net/route", "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\n");
}

TPppKernelTree::TPppKernelTree()
{
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"})
        if (::access(path, X_OK) == 0) {
            FIp = path;
            break;
        }
    if (::geteuid() != 0) {
        FUnavailable = "a private network namespace needs root";
        return;
    }
    if (FIp.empty()) {
        FUnavailable = "iproute2's ip is not installed";
        return;
    }
    FOldNetwork = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (FOldNetwork < 0 || ::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        FUnavailable = std::string("no private network namespace: ") + std::strerror(errno);
        return;
    }
    // The mounts stay this process's own, so the sysfs below never shows on the machine. The
    // process keeps its copy of the mounts afterwards; without the sysfs it is the machine's.
    const std::string sys = Root() + "/sys";
    fs::remove_all(sys);
    fs::create_directory(sys);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("sysfs", sys.c_str(), "sysfs", MS_RDONLY | MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        FUnavailable = std::string("cannot mount a sysfs of the namespace: ") + std::strerror(errno);
        return;
    }
    FMounted = true;
    // /proc/net follows the network namespace of the reading process, which is this one.
    fs::remove_all(Root() + "/proc");
    fs::create_directory_symlink("/proc", Root() + "/proc");
    // Without IPv6 the kernel sends nothing of its own through the interfaces, so their byte
    // counters hold only what the test sends.
    for (const char* scope : {"all", "default"})
        std::ofstream(std::string("/proc/sys/net/ipv6/conf/") + scope + "/disable_ipv6") << "1\n";
    try {
        Ip("link add zeltix-probe type veth peer name zeltix-probe2");
        Ip("link del zeltix-probe");
    } catch (const std::exception& e) {
        FUnavailable = std::string("no veth interfaces: ") + e.what();
    }
}

TPppKernelTree::~TPppKernelTree()
{
    if (FMounted)
        ::umount2((Root() + "/sys").c_str(), MNT_DETACH);
    if (FOldNetwork >= 0) {
        ::setns(FOldNetwork, CLONE_NEWNET);
        ::close(FOldNetwork);
    }
}

void TPppKernelTree::Ip(const std::string& arguments) const
{
    std::vector<std::string> words;
    std::istringstream in(arguments);
    for (std::string word; in >> word;)
        words.push_back(word);
    TChildResult result = RunChild(FIp, words);
    if (result.ExitCode != 0)
        throw std::runtime_error("ip " + arguments + ": " + result.Err);
}

void TPppKernelTree::SettleLink(const std::string& interface) const
{
    int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ethtool_value query{ETHTOOL_GLINK, 0};
    ifreq request{};
    interface.copy(request.ifr_name, IFNAMSIZ - 1);
    request.ifr_data = reinterpret_cast<char*>(&query);
    const bool asked = s >= 0 && ::ioctl(s, SIOCETHTOOL, &request) == 0;
    if (s >= 0)
        ::close(s);
    if (!asked)
        throw std::runtime_error("cannot query the link of " + interface);
}

void TPppKernelTree::SendDatagram(const std::string& address, size_t payload) const
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    if (::inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1)
        throw std::runtime_error("not an IPv4 address: " + address);
    int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const std::string bytes(payload, 'x');
    const bool sent = s >= 0 &&
        ::sendto(s, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
            static_cast<ssize_t>(payload);
    const int error = errno;
    if (s >= 0)
        ::close(s);
    if (!sent)
        throw std::runtime_error("cannot send to " + address + ": " + std::strerror(error));
}

TPppdChild::TPppdChild(const char* name, uid_t owner)
{
    int ready[2];
    if (::pipe(ready) != 0)
        throw std::runtime_error("pipe failed");
    FPid = ::fork();
    if (FPid == 0) {
        // Only async-signal-safe calls here: rename, report, wait for the signal.
        ::prctl(PR_SET_NAME, name, 0, 0, 0);
        if (owner != static_cast<uid_t>(-1) && ::setresuid(owner, owner, owner) != 0)
            ::_exit(1);
        char byte = 1;
        (void)!::write(ready[1], &byte, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    // The child is named once it has written; reading waits for that, no sleeping needed.
    (void)!::read(ready[0], &byte, 1);
    ::close(ready[0]);
}

TPppdChild::~TPppdChild()
{
    if (FPid > 0) {
        ::kill(FPid, SIGKILL);
        ::waitpid(FPid, nullptr, 0);
    }
}

bool TPppdChild::EndedBySigterm()
{
    int status = 0;
    if (::waitpid(FPid, &status, 0) != FPid)
        return false;
    FPid = -1;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
}

bool TPppdChild::Running() const
{
    siginfo_t info{};
    return FPid > 0 && ::waitid(P_PID, static_cast<id_t>(FPid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == 0;
}
