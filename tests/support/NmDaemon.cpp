#include "tests/support/NmDaemon.h"

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

const std::string kScript = ZELTIX_SOURCE_DIR "/tests/support/nm-netns.sh";

bool Runs(const std::string& program, const std::vector<std::string>& args)
{
    return RunChild(program, args).ExitCode == 0;
}

// Why this machine cannot run the daemon as asked, or "".
std::string Missing(const TNmDaemonOptions& options)
{
    if (::geteuid() != 0)
        return "a private network namespace needs root";
    TChildResult missing = RunChild("/bin/sh",
        {"-c",
            "for p in NetworkManager nmcli dbus-daemon unshare nsenter ip; do "
            "PATH=$PATH:/usr/sbin:/sbin command -v $p >/dev/null || echo $p; done"});
    if (!missing.Out.empty())
        return "not installed (network-manager, dbus-daemon, util-linux, iproute2): " + missing.Out;
    if (!Runs("/bin/sh", {"-c", "unshare -n -m true"}))
        return "no private network and mount namespace here";
    if (options.Pppd && ::access("/dev/net/tun", R_OK | W_OK) != 0)
        return "no /dev/net/tun for pppd's stand-in";
    if ((options.Pppd || !options.Modem.empty()) && !Runs("/usr/bin/python3", {"-c", "import dbus, dbusmock"}))
        return "python3-dbus and python3-dbusmock are not installed";
    return {};
}

} // namespace

TNmDaemon::TNmDaemon(const TNmDaemonOptions& options)
{
    FUnavailable = Missing(options);
    if (!FUnavailable.empty())
        return;
    std::vector<std::string> environment;
    if (options.RootOnly)
        environment.push_back("NM_POLKIT=root-only");
    if (options.Veth)
        environment.push_back("NM_VETH=1");
    if (options.Pppd)
        environment.push_back("NM_PPPD=1");
    if (!options.Modem.empty())
        environment.push_back("NM_MODEM=" + options.Modem);
    FUp = true;
    TChildResult up = RunChild(kScript, {"up", FDir.File("ns")}, environment);
    if (up.ExitCode != 0) {
        FUnavailable = "NetworkManager did not start: " + up.Err;
        return;
    }
    const std::string pid = FDir.Read("ns/ns.pid").substr(0, FDir.Read("ns/ns.pid").find('\n'));
    FRoot = "/proc/" + pid + "/root";
    FAddress = "unix:path=" + FRoot + "/run/dbus/system_bus_socket";
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"ZELTIX_SYSTEM_BUS", FAddress},
             std::pair<const char*, std::string>{"ZELTIX_SYSTEM_ROOT", FRoot}}) {
        const char* old = std::getenv(name);
        FOldEnvironment.push_back({name, old ? old : ""});
        ::setenv(name, value.c_str(), 1);
    }
}

TNmDaemon::~TNmDaemon()
{
    for (const auto& [name, value] : FOldEnvironment)
        if (value.empty())
            ::unsetenv(name.c_str());
        else
            ::setenv(name.c_str(), value.c_str(), 1);
    if (FUp)
        RunChild(kScript, {"down", FDir.File("ns")});
}

std::vector<std::string> TNmDaemon::Environment() const
{
    return {"ZELTIX_SYSTEM_BUS=" + FAddress, "ZELTIX_SYSTEM_ROOT=" + FRoot};
}

std::string TNmDaemon::Script(const std::vector<std::string>& args, bool mayFail) const
{
    TChildResult result = RunChild(kScript, args);
    if (result.ExitCode != 0) {
        if (!mayFail) {
            std::string command;
            for (const std::string& arg : args)
                command += arg + ' ';
            // NetworkManager's last words say why it did not come up.
            std::string log = FDir.Exists("ns/log/nm.log") ? FDir.Read("ns/log/nm.log") : std::string();
            log = log.substr(log.size() > 1500 ? log.size() - 1500 : 0);
            ADD_FAILURE() << command << "failed: " << result.Err << result.Out << "\n" << log;
        }
        return {};
    }
    return result.Out;
}

std::string TNmDaemon::Run(const std::vector<std::string>& argv, bool mayFail) const
{
    std::vector<std::string> args{"exec", FDir.File("ns")};
    args.insert(args.end(), argv.begin(), argv.end());
    return Script(args, mayFail);
}

std::string TNmDaemon::Nmcli(const std::vector<std::string>& args, bool mayFail) const
{
    std::vector<std::string> argv{"nmcli"};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv, mayFail);
}

void TNmDaemon::AddProfile(const std::string& type, const std::string& name, const std::vector<std::string>& settings)
{
    std::vector<std::string> args{"connection", "add", "type", type, "con-name", name, "connection.autoconnect", "no"};
    args.insert(args.end(), settings.begin(), settings.end());
    Nmcli(args);
}

void TNmDaemon::Restart()
{
    Script({"restart", FDir.File("ns")}, false);
}

void TNmDaemon::Stop()
{
    Script({"stop", FDir.File("ns")}, false);
}

void TNmDaemon::Start()
{
    Script({"start", FDir.File("ns")}, false);
}

void TNmDaemon::RestartBus()
{
    Script({"restart-bus", FDir.File("ns")}, false);
}
