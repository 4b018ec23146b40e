#include "tests/support/NmMock.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kNm = "org.freedesktop.NetworkManager";
constexpr const char* kMockObject = "/org/freedesktop";
constexpr const char* kMockInterface = "org.freedesktop.DBus.Mock";
constexpr const char* kStatistics = "org.freedesktop.NetworkManager.Device.Statistics";

// How long the daemon and the mock may take to come up on a loaded machine.
constexpr auto kReadiness = std::chrono::seconds(20);

void End(pid_t& pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

bool Exited(pid_t pid)
{
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

std::string ErrorText(const sd_bus_error& error, int r)
{
    if (sd_bus_error_is_set(&error))
        return std::string(error.name) + ": " + (error.message ? error.message : "");
    return std::strerror(-r);
}

} // namespace

TNmMock::TNmMock()
{
    if (const char* old = std::getenv("ZELTIX_SYSTEM_BUS")) {
        FOldBus = old;
        FHadBus = true;
    }
    const std::string socket = FDir.File("bus");
    FAddress = "unix:path=" + socket;
    FDir.Write("bus.conf",
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n  <type>session</type>\n  <listen>" +
            FAddress +
            "</listen>\n  <auth>EXTERNAL</auth>\n"
            "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
            "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n");
    FUnavailable = Spawn({"/usr/bin/dbus-daemon", "--config-file=" + FDir.File("bus.conf"), "--nofork", "--nopidfile"},
        FDaemon, FDir.File("daemon.log"));
    if (!FUnavailable.empty())
        return;
    const auto deadline = std::chrono::steady_clock::now() + kReadiness;
    while (!FBus) {
        sd_bus* bus = nullptr;
        if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, FAddress.c_str()) >= 0 &&
            sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
            sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId",
                nullptr, nullptr, "") >= 0) {
            FBus = bus;
            break;
        }
        sd_bus_unref(bus);
        if (Exited(FDaemon) || std::chrono::steady_clock::now() > deadline) {
            FDaemon = -1;
            FUnavailable = "dbus-daemon did not come up: " + FDir.Read("daemon.log");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    StartNetworkManager();
    if (FUnavailable.empty())
        ::setenv("ZELTIX_SYSTEM_BUS", FAddress.c_str(), 1);
}

TNmMock::~TNmMock()
{
    if (FHadBus)
        ::setenv("ZELTIX_SYSTEM_BUS", FOldBus.c_str(), 1);
    else
        ::unsetenv("ZELTIX_SYSTEM_BUS");
    StopNetworkManager();
    StopBus();
}

void TNmMock::StartNetworkManager()
{
    FUnavailable = Spawn({"/usr/bin/python3", "-m", "dbusmock", "--session", "--template", "networkmanager"}, FMock,
        FDir.File("mock.log"));
    if (FUnavailable.empty() && !WaitForName(kNm))
        FUnavailable = "python3-dbusmock's NetworkManager did not come up: " + FDir.Read("mock.log");
}

std::string TNmMock::Spawn(const std::vector<std::string>& args, pid_t& pid, const std::string& log)
{
    std::vector<std::string> strings(args);
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings{"DBUS_SESSION_BUS_ADDRESS=" + FAddress};
    for (char** e = environ; *e; ++e)
        if (!std::string_view(*e).starts_with("DBUS_SESSION_BUS_ADDRESS="))
            envStrings.push_back(*e);
    std::vector<char*> envp;
    for (std::string& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid = -1;
        return "cannot start " + args[0] + ": " + std::strerror(rc);
    }
    return {};
}

bool TNmMock::WaitForName(const std::string& name)
{
    const auto deadline = std::chrono::steady_clock::now() + kReadiness;
    for (;;) {
        // Owned by this double, not by one that has ended but is not yet forgotten by the bus.
        sd_bus_message* reply = nullptr;
        uint32_t owner = 0;
        if (sd_bus_call_method(FBus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "GetConnectionUnixProcessID", nullptr, &reply, "s", name.c_str()) >= 0)
            sd_bus_message_read(reply, "u", &owner);
        sd_bus_message_unref(reply);
        if (FMock > 0 && owner == static_cast<uint32_t>(FMock))
            return true;
        if (Exited(FMock)) {
            FMock = -1;
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void TNmMock::Call(
    const std::string& path, const std::string& interface, const std::string& member, const char* types, ...)
{
    if (!FBus)
        throw std::runtime_error("The mock's bus is gone");
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    va_list args;
    va_start(args, types);
    int r =
        sd_bus_call_methodv(FBus, kNm, path.c_str(), interface.c_str(), member.c_str(), &error, &reply, types, args);
    va_end(args);
    if (r < 0) {
        std::string text = member + " failed: " + ErrorText(error, r);
        sd_bus_error_free(&error);
        throw std::runtime_error(text);
    }
    FLastPath.clear();
    char type = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(reply, &type, &contents) > 0 && (type == 's' || type == 'o')) {
        const char* text = nullptr;
        if (sd_bus_message_read_basic(reply, type, &text) >= 0 && text)
            FLastPath = text;
    }
    sd_bus_message_unref(reply);
}

std::string TNmMock::AddProfile(
    const std::string& id, const std::string& type, const std::vector<std::pair<std::string, std::string>>& more)
{
    std::vector<std::pair<std::string, std::pair<std::string, std::string>>> settings{
        {"connection", {"id", id}}, {"connection", {"type", type}}};
    for (const auto& [name, value] : more) {
        size_t dot = name.find('.');
        settings.push_back({name.substr(0, dot), {name.substr(dot + 1), value}});
    }
    sd_bus_message* m = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_message_new_method_call(FBus, &m, kNm, "/org/freedesktop/NetworkManager/Settings",
        "org.freedesktop.NetworkManager.Settings", "AddConnection");
    r = r < 0 ? r : sd_bus_message_open_container(m, 'a', "{sa{sv}}");
    std::vector<std::string> done;
    for (const auto& [setting, entry] : settings) {
        if (std::find(done.begin(), done.end(), setting) != done.end())
            continue;
        done.push_back(setting);
        r = r < 0 ? r : sd_bus_message_open_container(m, 'e', "sa{sv}");
        r = r < 0 ? r : sd_bus_message_append(m, "s", setting.c_str());
        r = r < 0 ? r : sd_bus_message_open_container(m, 'a', "{sv}");
        for (const auto& [other, keyValue] : settings)
            if (other == setting)
                r = r < 0 ? r : sd_bus_message_append(m, "{sv}", keyValue.first.c_str(), "s", keyValue.second.c_str());
        r = r < 0 ? r : sd_bus_message_close_container(m);
        r = r < 0 ? r : sd_bus_message_close_container(m);
    }
    r = r < 0 ? r : sd_bus_message_close_container(m);
    r = r < 0 ? r : sd_bus_call(FBus, m, 0, &error, &reply);
    std::string path;
    const char* text = nullptr;
    if (r >= 0 && sd_bus_message_read(reply, "o", &text) >= 0)
        path = text;
    std::string failure = r < 0 ? "AddConnection failed: " + ErrorText(error, r) : "";
    sd_bus_error_free(&error);
    sd_bus_message_unref(m);
    sd_bus_message_unref(reply);
    if (!failure.empty())
        throw std::runtime_error(failure);
    return path;
}

std::string TNmMock::AddDevice(const std::string& name, const std::string& interface, const std::string& ipInterface)
{
    Call(kMockObject, kMockInterface, "AddEthernetDevice", "ssi", name.c_str(), interface.c_str(), 100);
    std::string path = FLastPath;
    Call(kMockObject, kMockInterface, "SetProperty", "sssv", path.c_str(), "org.freedesktop.NetworkManager.Device",
        "IpInterface", "s", ipInterface.c_str());
    // NetworkManager's devices all say whether they are metered; the double's do not.
    Call(path, kMockInterface, "AddProperty", "ssv", "org.freedesktop.NetworkManager.Device", "Metered", "u",
        uint32_t{0});
    return path;
}

void TNmMock::AddStatistics(const std::string& device, uint64_t txBytes, uint64_t rxBytes)
{
    Call(device, kMockInterface, "AddProperties", "sa{sv}", kStatistics, 3, "RefreshRateMs", "u", uint32_t{0},
        "TxBytes", "t", txBytes, "RxBytes", "t", rxBytes);
}

void TNmMock::SetStatistics(const std::string& device, uint64_t txBytes, uint64_t rxBytes)
{
    Call(device, kMockInterface, "UpdateProperties", "sa{sv}", kStatistics, 2, "TxBytes", "t", txBytes, "RxBytes", "t",
        rxBytes);
}

void TNmMock::SetMetered(const std::string& device, uint32_t metered)
{
    Call(device, kMockInterface, "UpdateProperties", "sa{sv}", "org.freedesktop.NetworkManager.Device", 1, "Metered",
        "u", metered);
}

uint32_t TNmMock::StatisticsRefreshRate(const std::string& device)
{
    uint32_t rate = 0;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_get_property_trivial(FBus, kNm, device.c_str(), kStatistics, "RefreshRateMs", &error, 'u', &rate);
    std::string failure = r < 0 ? "RefreshRateMs: " + ErrorText(error, r) : "";
    sd_bus_error_free(&error);
    if (!failure.empty())
        throw std::runtime_error(failure);
    return rate;
}

std::string TNmMock::Activate(
    const std::string& profile, const std::string& device, const std::string& name, uint32_t state)
{
    if (device.empty())
        Call(
            kMockObject, kMockInterface, "AddActiveConnection", "assssu", 0, profile.c_str(), "/", name.c_str(), state);
    else
        Call(kMockObject, kMockInterface, "AddActiveConnection", "assssu", 1, device.c_str(), profile.c_str(), "/",
            name.c_str(), state);
    return FLastPath;
}

void TNmMock::SetState(const std::string& active, uint32_t state)
{
    Call(kMockObject, kMockInterface, "SetProperty", "sssv", active.c_str(),
        "org.freedesktop.NetworkManager.Connection.Active", "State", "u", state);
}

void TNmMock::Remove(const std::string& device, const std::string& active)
{
    Call(kMockObject, kMockInterface, "RemoveActiveConnection", "ss", device.c_str(), active.c_str());
}

void TNmMock::SetUnsigned(
    const std::string& path, const std::string& interface, const std::string& name, uint32_t value)
{
    Call(kMockObject, kMockInterface, "SetProperty", "sssv", path.c_str(), interface.c_str(), name.c_str(), "u", value);
}

void TNmMock::AnswerListingAfter(int ms)
{
    const std::string code = "time.sleep(" + std::to_string(ms / 1000.0) +
        "); ret = self.Get('org.freedesktop.NetworkManager.Settings', 'Connections')";
    Call("/org/freedesktop/NetworkManager/Settings", kMockInterface, "AddMethod", "sssss",
        "org.freedesktop.NetworkManager.Settings", "ListConnections", "", "ao", code.c_str());
}

void TNmMock::RefuseDeactivation(const std::string& errorName, const std::string& message)
{
    const std::string code = errorName.empty()
        ? "self.deactivate_connection(self, args[0])"
        : "raise dbus.exceptions.DBusException('" + message + "', name='" + errorName + "')";
    Call("/org/freedesktop/NetworkManager", kMockInterface, "AddMethod", "sssss", "org.freedesktop.NetworkManager",
        "DeactivateConnection", "o", "", code.c_str());
}

std::vector<std::string> TNmMock::Calls()
{
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_call_method(
        FBus, kNm, "/org/freedesktop/NetworkManager", kMockInterface, "GetCalls", &error, &reply, "");
    if (r < 0) {
        std::string failure = "GetCalls failed: " + ErrorText(error, r);
        sd_bus_error_free(&error);
        throw std::runtime_error(failure);
    }
    std::vector<std::string> calls;
    sd_bus_message_enter_container(reply, 'a', "(tsav)");
    while (sd_bus_message_enter_container(reply, 'r', "tsav") > 0) {
        uint64_t time = 0;
        const char* method = nullptr;
        sd_bus_message_read(reply, "ts", &time, &method);
        std::string call = method ? method : "";
        sd_bus_message_enter_container(reply, 'a', "v");
        bool first = true;
        while (!sd_bus_message_at_end(reply, false)) {
            const char* contents = nullptr;
            char type = 0;
            sd_bus_message_peek_type(reply, &type, &contents);
            const char* text = nullptr;
            if (first && contents && (std::strcmp(contents, "o") == 0 || std::strcmp(contents, "s") == 0) &&
                sd_bus_message_enter_container(reply, 'v', contents) > 0) {
                sd_bus_message_read_basic(reply, contents[0], &text);
                sd_bus_message_exit_container(reply);
                call += std::string(" ") + (text ? text : "");
            } else {
                sd_bus_message_skip(reply, "v");
            }
            first = false;
        }
        sd_bus_message_exit_container(reply);
        sd_bus_message_exit_container(reply);
        calls.push_back(call);
    }
    sd_bus_message_unref(reply);
    return calls;
}

void TNmMock::StopNetworkManager()
{
    End(FMock);
}

void TNmMock::StopBus()
{
    if (FBus)
        sd_bus_flush_close_unref(FBus);
    FBus = nullptr;
    End(FDaemon);
}
