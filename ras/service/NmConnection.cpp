#include "ras/service/NmConnection.h"

#include "ras/service/ReportOnce.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A bus that could not be reached is tried again after this much of the service's time.
constexpr int64_t kRetryMs = 5000;

// The socket file of a bus address that names one ("unix:path=..."), else "".
std::string SocketPath(std::string_view address)
{
    constexpr std::string_view prefix = "unix:path=";
    if (address.substr(0, prefix.size()) != prefix || address.find(';') != address.npos)
        return {};
    address.remove_prefix(prefix.size());
    return std::string(address.substr(0, address.find(',')));
}

} // namespace

bool TNmConnection::Inherited() const
{
    return Bus && Pid != ::getpid();
}

bool TNmConnection::TakeAddress()
{
    const char* env = std::getenv("ZELTIX_SYSTEM_BUS");
    std::string_view address = env ? env : "";
    if (AddressKnown && address == Address)
        return false;
    Address = address;
    AddressKnown = true;
    LastAttemptMs.reset();
    return true;
}

bool TNmConnection::AttemptDue(int64_t nowMs)
{
    // A clock that went back (another test, another time source) does not stall retries.
    if (LastAttemptMs && nowMs >= *LastAttemptMs && nowMs < *LastAttemptMs + kRetryMs)
        return false;
    LastAttemptMs = nowMs;
    return true;
}

bool TNmConnection::Open()
{
    ++Attempts;
    // A bus whose socket is not there is not there: one look instead of a socket set up and
    // refused (a machine without a system bus, or before it has started).
    const char* system = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string socket = SocketPath(!Address.empty() ? Address
            : system                                       ? system
                                                           : "unix:path=/run/dbus/system_bus_socket");
    struct stat info;
    if (!socket.empty() && ::stat(socket.c_str(), &info) != 0 && errno == ENOENT)
        return false;
    sd_bus* bus = nullptr;
    int r;
    if (Address.empty()) {
        r = sd_bus_open_system(&bus);
    } else {
        r = sd_bus_new(&bus);
        if (r >= 0)
            r = sd_bus_set_address(bus, Address.c_str());
        if (r >= 0)
            r = sd_bus_set_bus_client(bus, 1);
        if (r >= 0)
            r = sd_bus_start(bus);
        if (r == -EINVAL)
            ReportOnce("address " + Address,
                "ZELTIX_SYSTEM_BUS=" + Address + " is no D-Bus address: NetworkManager's connections are not shown");
    }
    if (r < 0) {
        sd_bus_unref(bus);
        return false;
    }
    Bus = bus;
    Pid = ::getpid();
    return true;
}

void TNmConnection::Close()
{
    if (!Bus)
        return;
    // After a fork the parent's connection is not this process's to close.
    if (Pid == ::getpid())
        sd_bus_close_unref(Bus);
    Bus = nullptr;
}
