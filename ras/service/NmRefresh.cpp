#include "ras/service/NmRefresh.h"

#include "ras/service/NmMessages.h"

void TNmRefresh::Begin()
{
    Round = ++Rounds;
    Pending = 0;
    Profiles.clear();
    Active.clear();
    Devices.clear();
}

std::vector<TNmRequest> TNmRefresh::Take(sd_bus_message* m, TCallKind kind, const std::string& path, size_t index)
{
    std::vector<TNmRequest> next;
    switch (kind) {
    case TCallKind::ckProfiles: {
        std::vector<std::string> paths;
        if (!ReadPaths(m, paths))
            return next;
        Profiles.resize(paths.size());
        for (size_t i = 0; i < paths.size(); ++i)
            next.push_back({TCallKind::ckProfile, paths[i], nullptr, i});
        break;
    }
    case TCallKind::ckProfile: {
        TNmProfile profile;
        profile.Path = path;
        if (index < Profiles.size() && ReadProfile(m, profile))
            Profiles[index] = std::move(profile);
        break;
    }
    case TCallKind::ckActiveList: {
        std::vector<std::string> paths;
        if (sd_bus_message_enter_container(m, 'v', "ao") <= 0 || !ReadPaths(m, paths))
            return next;
        for (const std::string& active : paths)
            next.push_back({TCallKind::ckActive, active, kActiveInterface});
        break;
    }
    case TCallKind::ckActive: {
        TNmActiveConnection active;
        active.Path = path;
        bool ok = ReadDictionary(m, [&](const std::string& key) {
            if (key == "Connection")
                VariantString(m, active.Connection, "o");
            else if (key == "Uuid")
                VariantString(m, active.Uuid);
            else if (key == "State")
                ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &active.State); });
            else if (key == "Devices")
                ReadVariant(m, "ao", [&]() { return ReadPaths(m, active.Devices) ? 0 : -1; });
            else
                SkipVariant(m);
            return true;
        });
        if (!ok)
            return next;
        for (const std::string& device : active.Devices) {
            if (Devices.count(device))
                continue;
            Devices[device].Path = device;
            next.push_back({TCallKind::ckDevice, device, kDeviceInterface});
            next.push_back({TCallKind::ckStatistics, device, kStatisticsInterface});
        }
        Active.push_back(std::move(active));
        break;
    }
    case TCallKind::ckDevice: {
        TNmDevice& device = Devices[path];
        ReadDictionary(m, [&](const std::string& key) {
            if (key == "Interface")
                VariantString(m, device.Interface);
            else if (key == "IpInterface")
                VariantString(m, device.IpInterface);
            else if (key == "DeviceType")
                ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &device.DeviceType); });
            else if (key == "Metered")
                ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &device.Metered); });
            else
                SkipVariant(m);
            return true;
        });
        // The link speed lives on the kind's own interface: Ethernet (and veth) in Mb/s, Wi-Fi
        // in kb/s.
        if (device.DeviceType == kNmDeviceEthernet || device.DeviceType == kNmDeviceVeth)
            next.push_back({TCallKind::ckSpeed, path, kWiredInterface});
        else if (device.DeviceType == kNmDeviceWifi)
            next.push_back({TCallKind::ckSpeed, path, kWirelessInterface});
        break;
    }
    case TCallKind::ckSpeed: {
        TNmDevice& device = Devices[path];
        ReadSpeed(m, device, device.DeviceType != kNmDeviceWifi);
        break;
    }
    case TCallKind::ckStatistics: {
        TNmDevice& device = Devices[path];
        device.HasStatistics = ReadStatistics(m, device);
        break;
    }
    default:
        break;
    }
    return next;
}

std::shared_ptr<TNmSnapshot> TNmRefresh::Finish()
{
    auto next = std::make_shared<TNmSnapshot>();
    next->Presence = TNmPresence::npPresent;
    for (std::optional<TNmProfile>& profile : Profiles)
        if (profile)
            next->Profiles.push_back(std::move(*profile));
    next->Active = std::move(Active);
    for (auto& [path, device] : Devices)
        next->Devices.push_back(std::move(device));
    Round = 0;
    return next;
}
