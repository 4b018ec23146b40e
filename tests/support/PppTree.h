#pragma once

#include "ras/service/ServiceSeams.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

// A fake system root for the pppd backend: peer files, pid files, /proc entries, interfaces
// and the route table, written where the backend looks for them. It becomes the service's
// root (and ZELTIX_SYSTEM_ROOT, for the library and rasdial) for its lifetime.
class TPppTree {
public:
    TPppTree();
    ~TPppTree();

    const std::string& Root() const { return FDir.Path(); }

    void Peer(const std::string& name, const std::string& options) const;
    // ppp-LINKNAME.pid in /run (or the folder given): the pid, then the interface if any.
    void PidFile(const std::string& linkName, int pid, const std::string& interface = {},
        const std::string& folder = "/run") const;
    // /proc/<pid> as a process named comm, with that start time and command line (arguments
    // separated by blanks here, by NULs in the file).
    void Process(int pid, const std::string& comm, uint64_t startTime, const std::string& cmdline = "pppd") const;
    // /proc/<pid> as the real process's folder, so that its real name and start time show.
    void RealProcess(pid_t pid) const;
    void RemoveProcess(int pid) const;
    // /sys/class/net/<name> with operstate, flags and the 64-bit byte counters; with `routed`,
    // a route through it in /proc/net/route, which is how an IPv4 address shows. The flags are
    // the kernel's (as `ip link` shows them); they are written as sysfs has them: the flags
    // file without IFF_RUNNING, which shows as carrier 1 instead.
    void Interface(const std::string& name, const std::string& operstate, unsigned flags, uint64_t txBytes,
        uint64_t rxBytes, bool routed) const;
    void RemoveInterface(const std::string& name) const;
    void Write(const std::string& path, const std::string& bytes) const;

private:
    TSeamScope<TServiceSeams> FService{ServiceSeams()};
    TTempDir FDir;
    std::string FOldEnvironment; // ZELTIX_SYSTEM_ROOT as it was, restored at the end
    bool FHadEnvironment = false;
};

// A pppd tree over the kernel's own view of the network: its /proc is the machine's and its
// /sys a sysfs of a private network namespace that the calling thread enters for the tree's
// lifetime. Interfaces made there with Ip() are what the backend finds through the kernel's
// interfaces, and nothing of the machine's network is touched. It needs root, namespaces, veth
// and iproute2; Unavailable() says why the tree could not be set up, for the test to skip.
class TPppKernelTree : public TPppTree {
public:
    TPppKernelTree();
    ~TPppKernelTree();

    const std::string& Unavailable() const { return FUnavailable; }
    // Runs `ip` with these blank-separated arguments in the namespace; throws with its error
    // output when it fails.
    void Ip(const std::string& arguments) const;
    // The kernel brings an interface's operational state, and with it IFF_RUNNING, in line
    // with a new carrier in the background; this does it now, as ethtool's link query does.
    void SettleLink(const std::string& interface) const;
    // One UDP datagram with `payload` bytes to an IPv4 address, sent from the namespace.
    void SendDatagram(const std::string& address, size_t payload) const;

private:
    std::string FUnavailable;
    std::string FIp;
    int FOldNetwork = -1;
    bool FMounted = false;
};

// A real child process named pppd, to receive the hang-up's signal. Ends it in the destructor
// if it is still there.
class TPppdChild {
public:
    // With an owner, the child runs as that user, as another user's pppd does.
    explicit TPppdChild(const char* name = "pppd", uid_t owner = static_cast<uid_t>(-1));
    ~TPppdChild();
    pid_t Pid() const { return FPid; }
    // Waits for the child to end and tells whether SIGTERM ended it.
    bool EndedBySigterm();
    // True while the child has not ended (it is not waited for).
    bool Running() const;

private:
    pid_t FPid = -1;
};
