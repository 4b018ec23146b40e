// What the pppd backend reads of the system: peer files, /proc/<pid>/stat and comm, and the
// route table. Whatever they hold, the records stay within their published field lengths.

#include "fuzz/Check.h"
#include "ras/service/PppLinks.h"
#include "ras/service/PppPeers.h"
#include "ras/service/RasRecords.h"
#include "ras/service/ServiceSeams.h"
#include "ras/service/SystemRoot.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

// A system root of the fuzzer's own, made once.
const std::string& Root()
{
    static const std::string root = [] {
        std::string path = std::filesystem::temp_directory_path() / ("zeltix-fuzz-ppp-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path + "/proc/4242");
        ServiceSeams().SystemRoot = path;
        std::atexit([] {
            std::error_code error;
            std::filesystem::remove_all(SystemRoot(), error);
        });
        return path;
    }();
    return root;
}

void Write(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TPppPeer peer = ParsePeerFile("fuzz", bytes, [](const std::string& name) { return name == "eth0"; });
    Check(peer.DeviceName.size() <= RAS_MaxDeviceName);
    // Device names are record text like entry names: ANSI without control characters.
    Check(std::none_of(peer.DeviceName.begin(), peer.DeviceName.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }));
    Check(peer.DeviceType.size() <= RAS_MaxDeviceType);

    // The same bytes as the process's stat and comm files, and as the route table.
    Write(Root() + "/proc/4242/stat", bytes);
    Write(Root() + "/proc/4242/comm", bytes);
    (void)PppdStartTime(Root() + "/proc/4242");
    const TInterfaceStatus status = ReadInterfaceStatus("ppp0", bytes);
    Check(!status.Up); // no interface of that name exists below the root
    return 0;
}
