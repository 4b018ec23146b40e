#pragma once

#include "ras/service/NmBus.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// NetworkManager's names on the bus and the readers of the few of its messages the service
// uses, for the files of TNmBus only (they need sd-bus's header).

inline constexpr const char* kNmName = "org.freedesktop.NetworkManager";
inline constexpr const char* kNmPath = "/org/freedesktop/NetworkManager";
inline constexpr const char* kNmInterface = "org.freedesktop.NetworkManager";
inline constexpr const char* kSettingsPath = "/org/freedesktop/NetworkManager/Settings";
inline constexpr const char* kSettingsInterface = "org.freedesktop.NetworkManager.Settings";
inline constexpr const char* kProfileInterface = "org.freedesktop.NetworkManager.Settings.Connection";
inline constexpr const char* kActiveInterface = "org.freedesktop.NetworkManager.Connection.Active";
inline constexpr const char* kDeviceInterface = "org.freedesktop.NetworkManager.Device";
inline constexpr const char* kWiredInterface = "org.freedesktop.NetworkManager.Device.Wired";
inline constexpr const char* kWirelessInterface = "org.freedesktop.NetworkManager.Device.Wireless";
inline constexpr const char* kStatisticsInterface = "org.freedesktop.NetworkManager.Device.Statistics";
inline constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

// How long a call that waits for its answer (Deactivate) waits.
inline constexpr uint64_t kDeactivateUsec = 2'000'000;

// A message the holder owns.
struct TMessage {
    sd_bus_message* M = nullptr;
    ~TMessage() { sd_bus_message_unref(M); }
};

// Reads a variant of the given contents into `read`, or skips it.
bool ReadVariant(sd_bus_message* m, const char* contents, const std::function<int()>& read);
bool ReadString(sd_bus_message* m, std::string& out, char type = 's');
bool VariantString(sd_bus_message* m, std::string& out, const char* contents = "s");
// An "ao" at the read position.
bool ReadPaths(sd_bus_message* m, std::vector<std::string>& out);
// An a{sv} at the read position; onEntry reads or skips the variant of each key. False when
// onEntry refused a key or the message is not such a dictionary.
bool ReadDictionary(sd_bus_message* m, const std::function<bool(const std::string&)>& onEntry);
bool SkipVariant(sd_bus_message* m);
// GetSettings: a{sa{sv}}, of which the few keys the phonebook needs.
bool ReadProfile(sd_bus_message* m, TNmProfile& profile);
// A link speed in bits per second, as far as the records reach: Wired.Speed is in Mb/s,
// Wireless.Bitrate in kb/s.
uint32_t LinkSpeed(uint32_t value, bool wired);
// The link speed among the Wired (Speed) or the Wireless (Bitrate) interface's properties.
bool ReadSpeed(sd_bus_message* m, TNmDevice& device, bool wiredInterface);
// The Device.Statistics properties: the counters and their refresh rate.
bool ReadStatistics(sd_bus_message* m, TNmDevice& device);

// A method call of NetworkManager's, waiting for its answer for up to two seconds; reply is
// its answer when it succeeded.
TNmCallResult CallNow(sd_bus* bus, const char* path, const char* interface, const char* member,
    const std::function<int(sd_bus_message*)>& append, TMessage& reply);

// NetworkManager's signals against the snapshot shown (NmSnapshot.cpp).
// Whether the signal changes the profiles, the active connections or their devices' interfaces.
bool ChangesWhatIsShown(sd_bus_message* m, const TNmSnapshot& shown);
// The snapshot with the signal taken in, for the changes that come most often (an active
// connection's state, a device's counters); nothing when it must be asked again.
std::shared_ptr<const TNmSnapshot> UpdatedInPlace(sd_bus_message* m, const TNmSnapshot& shown);
