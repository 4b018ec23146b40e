#include "ras/service/NmMessages.h"

#include <algorithm>
#include <set>
#include <string_view>

const TNmDevice* TNmSnapshot::Device(const std::string& path) const
{
    for (const TNmDevice& device : Devices)
        if (device.Path == path)
            return &device;
    return nullptr;
}

// Whether the signal changes the profiles, the active connections or their devices'
// interfaces or metered flags. NetworkManager reports much else (access points' signal
// strength, Wi-Fi scans, addresses), several times a minute on a laptop; none of it is asked
// for again.
bool ChangesWhatIsShown(sd_bus_message* m, const TNmSnapshot& shown)
{
    const char* memberText = sd_bus_message_get_member(m);
    const char* interfaceText = sd_bus_message_get_interface(m);
    if (!memberText || !interfaceText)
        return false;
    const std::string_view member = memberText;
    const std::string_view interface = interfaceText;
    if (member != "PropertiesChanged")
        // NewConnection and ConnectionRemoved of the settings, Updated and Removed of a profile.
        return interface == kSettingsInterface || interface == kProfileInterface;
    std::string changed(interface);
    if (changed == kPropertiesInterface && !ReadString(m, changed))
        return true;
    std::set<std::string> keys;
    if (!ReadDictionary(m, [&](const std::string& key) {
            keys.insert(key);
            SkipVariant(m);
            return true;
        }))
        return true;
    if (changed == kNmInterface)
        return keys.contains("ActiveConnections");
    if (changed == kSettingsInterface)
        return keys.contains("Connections");
    if (changed == kActiveInterface)
        return keys.contains("State") || keys.contains("Connection") || keys.contains("Devices");
    if (changed == kDeviceInterface) {
        const char* path = sd_bus_message_get_path(m);
        return (keys.contains("Interface") || keys.contains("IpInterface") || keys.contains("Metered")) && path &&
            shown.Device(path);
    }
    return false;
}

// State changes of an active connection, new counters and link speeds of a device, the changes
// that come most often, are taken from the signal itself; anything else is asked again.
std::shared_ptr<const TNmSnapshot> UpdatedInPlace(sd_bus_message* m, const TNmSnapshot& shown)
{
    const char* interface = sd_bus_message_get_interface(m);
    const char* pathText = sd_bus_message_get_path(m);
    if (!interface || !pathText || shown.Presence != TNmPresence::npPresent)
        return nullptr;
    const std::string path = pathText;
    std::string changed = interface;
    if (changed == kPropertiesInterface && !ReadString(m, changed))
        return nullptr;
    // Most signals are of other interfaces (access points, addresses): no copy for those.
    if (changed != kActiveInterface && changed != kWiredInterface && changed != kWirelessInterface &&
        changed != kStatisticsInterface)
        return nullptr;
    auto next = std::make_shared<TNmSnapshot>(shown);
    if (changed == kActiveInterface) {
        auto it = std::find_if(
            next->Active.begin(), next->Active.end(), [&path](const TNmActiveConnection& a) { return a.Path == path; });
        if (it == next->Active.end())
            return nullptr;
        bool ok = ReadDictionary(m, [&](const std::string& key) {
            if (key == "State")
                return ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &it->State); });
            SkipVariant(m);
            return key == "StateFlags";
        });
        if (!ok)
            return nullptr;
    } else if (changed == kWiredInterface || changed == kWirelessInterface) {
        // A Wi-Fi link's bit rate changes every few seconds; it is taken from the signal.
        auto it = std::find_if(
            next->Devices.begin(), next->Devices.end(), [&path](const TNmDevice& d) { return d.Path == path; });
        if (it == next->Devices.end())
            return nullptr;
        if (!ReadSpeed(m, *it, changed == kWiredInterface))
            return nullptr;
    } else if (changed == kStatisticsInterface) {
        auto it = std::find_if(
            next->Devices.begin(), next->Devices.end(), [&path](const TNmDevice& d) { return d.Path == path; });
        if (it == next->Devices.end() || !ReadStatistics(m, *it))
            return nullptr;
        it->HasStatistics = true;
    }
    return next;
}
