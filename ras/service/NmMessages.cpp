#include "ras/service/NmMessages.h"

#include <algorithm>

bool ReadVariant(sd_bus_message* m, const char* contents, const std::function<int()>& read)
{
    if (sd_bus_message_enter_container(m, 'v', contents) <= 0) {
        sd_bus_message_skip(m, "v");
        return false;
    }
    bool ok = read() >= 0;
    sd_bus_message_exit_container(m);
    return ok;
}

bool ReadString(sd_bus_message* m, std::string& out, char type)
{
    const char* text = nullptr;
    if (sd_bus_message_read_basic(m, type, &text) <= 0 || !text)
        return false;
    out = text;
    return true;
}

bool VariantString(sd_bus_message* m, std::string& out, const char* contents)
{
    return ReadVariant(m, contents, [&]() { return ReadString(m, out, contents[0]) ? 0 : -1; });
}

bool ReadPaths(sd_bus_message* m, std::vector<std::string>& out)
{
    if (sd_bus_message_enter_container(m, 'a', "o") <= 0)
        return false;
    std::string path;
    while (ReadString(m, path, 'o'))
        out.push_back(path);
    return sd_bus_message_exit_container(m) >= 0;
}

bool ReadDictionary(sd_bus_message* m, const std::function<bool(const std::string&)>& onEntry)
{
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0)
        return false;
    bool ok = true;
    int r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        std::string key;
        if (!ReadString(m, key) || !onEntry(key))
            ok = false;
        if (sd_bus_message_exit_container(m) < 0)
            return false;
    }
    return r >= 0 && sd_bus_message_exit_container(m) >= 0 && ok;
}

bool SkipVariant(sd_bus_message* m)
{
    return sd_bus_message_skip(m, "v") >= 0;
}

bool ReadProfile(sd_bus_message* m, TNmProfile& profile)
{
    if (sd_bus_message_enter_container(m, 'a', "{sa{sv}}") <= 0)
        return false;
    int r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
        std::string setting;
        if (!ReadString(m, setting))
            return false;
        bool ok = ReadDictionary(m, [&](const std::string& key) {
            if (setting == "connection" && key == "metered") {
                ReadVariant(m, "i", [&]() { return sd_bus_message_read_basic(m, 'i', &profile.Metered); });
                return true;
            }
            std::string* field = nullptr;
            if (setting == "connection" && key == "id")
                field = &profile.Id;
            else if (setting == "connection" && key == "uuid")
                field = &profile.Uuid;
            else if (setting == "connection" && key == "type")
                field = &profile.Type;
            else if (setting == "connection" && key == "interface-name")
                field = &profile.InterfaceName;
            else if (setting == "bluetooth" && key == "type")
                field = &profile.BluetoothType;
            else if (setting == "pppoe" && key == "parent")
                field = &profile.PppoeParent;
            if (field)
                VariantString(m, *field);
            else
                SkipVariant(m);
            return true;
        });
        if (!ok || sd_bus_message_exit_container(m) < 0)
            return false;
    }
    return r >= 0 && sd_bus_message_exit_container(m) >= 0;
}

uint32_t LinkSpeed(uint32_t value, bool wired)
{
    const uint64_t bits = uint64_t{value} * (wired ? 1'000'000 : 1'000);
    return static_cast<uint32_t>(std::min<uint64_t>(bits, UINT32_MAX));
}

bool ReadSpeed(sd_bus_message* m, TNmDevice& device, bool wiredInterface)
{
    return ReadDictionary(m, [&](const std::string& key) {
        uint32_t value = 0;
        if (key == (wiredInterface ? "Speed" : "Bitrate") &&
            ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &value); })) {
            device.Speed = LinkSpeed(value, wiredInterface);
            return true;
        }
        return SkipVariant(m);
    });
}

bool ReadStatistics(sd_bus_message* m, TNmDevice& device)
{
    return ReadDictionary(m, [&](const std::string& key) {
        if (key == "TxBytes")
            ReadVariant(m, "t", [&]() { return sd_bus_message_read_basic(m, 't', &device.TxBytes); });
        else if (key == "RxBytes")
            ReadVariant(m, "t", [&]() { return sd_bus_message_read_basic(m, 't', &device.RxBytes); });
        else if (key == "RefreshRateMs")
            ReadVariant(m, "u", [&]() { return sd_bus_message_read_basic(m, 'u', &device.RefreshRateMs); });
        else
            SkipVariant(m);
        return true;
    });
}

TNmCallResult CallNow(sd_bus* bus, const char* path, const char* interface, const char* member,
    const std::function<int(sd_bus_message*)>& append, TMessage& reply)
{
    TNmCallResult result;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    TMessage call;
    int r = sd_bus_message_new_method_call(bus, &call.M, kNmName, path, interface, member);
    if (r >= 0)
        r = append(call.M);
    if (r >= 0)
        r = sd_bus_call(bus, call.M, kDeactivateUsec, &error, &reply.M);
    if (r >= 0) {
        result.Reached = true;
    } else if (sd_bus_error_is_set(&error) &&
        !sd_bus_error_has_name(&error, "org.freedesktop.DBus.Error.ServiceUnknown") &&
        !sd_bus_error_has_name(&error, "org.freedesktop.DBus.Error.NameHasNoOwner")) {
        result.Reached = true;
        result.ErrorName = error.name;
        result.ErrorMessage = error.message ? error.message : "";
    }
    sd_bus_error_free(&error);
    return result;
}
