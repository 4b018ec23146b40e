#include "ras/rasdial/Commands.h"

#include "ras/service/AnsiText.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string Hex(HRASCONN handle)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", handle);
    return text;
}

std::string StateName(int32_t state)
{
    const char* name = RasConnStateName(state);
    return name ? name : "state " + std::to_string(state);
}

// Milliseconds as seconds, with decimals only where they are needed: "5", "2.5".
std::string Seconds(int64_t ms)
{
    std::string text = std::to_string(ms / 1000);
    if (int64_t rest = ms % 1000) {
        std::string fraction = std::to_string(1000 + rest).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += "." + fraction;
    }
    return text;
}

void ListConnections(TRasService& service, int64_t nowMs, std::ostream& out)
{
    std::vector<TConnectionView> views = service.Connections(nowMs);
    if (views.empty())
        out << "No connections\n";
    for (const TConnectionView& view : views) {
        out << AnsiToUtf8(view.Entry) << ' ' << Hex(view.Handle) << ' ' << StateName(view.State);
        if (view.Error != 0)
            out << " error " << view.Error;
        out << '\n';
    }
}

void ListPhonebook(TRasService& service, std::ostream& out)
{
    std::vector<TPhonebookEntry> entries = service.Phonebook();
    if (entries.empty())
        out << "No entries\n";
    for (const TPhonebookEntry& entry : entries) {
        out << AnsiToUtf8(entry.Name) << ": " << AnsiToUtf8(entry.DeviceType) << ", " << AnsiToUtf8(entry.DeviceName)
            << ", " << entry.Speed << " bps";
        if (!entry.PhoneNumber.empty())
            out << ", phone " << AnsiToUtf8(entry.PhoneNumber);
        out << '\n';
    }
}

void Dial(const TRasdialCommand& command, TRasService& service, int64_t nowMs, std::ostream& out)
{
    HRASCONN handle = service.Dial(command.Entry, command.Dial, nowMs);
    std::optional<TConnectionView> view = service.Find(handle, nowMs);
    std::string name = view ? view->Entry : command.Entry;
    out << "Dialing " << AnsiToUtf8(name) << " (handle " << Hex(handle) << "): ";
    if (command.Dial.PinnedState)
        out << "held in " << StateName(*command.Dial.PinnedState);
    else
        out << "connected in " << Seconds(command.Dial.ConnectAfterMs) << " s";
    if (command.Dial.Error != 0)
        out << ", error " << command.Dial.Error;
    out << '\n';
}

} // namespace

void RunRasdialCommand(const TRasdialCommand& command, TRasService& service, int64_t nowMs, std::ostream& out)
{
    std::string name = AnsiToUtf8(command.Entry);
    switch (command.Action) {
    case TRasdialAction::raHelp:
        out << kRasdialUsage;
        break;
    case TRasdialAction::raList:
        ListConnections(service, nowMs, out);
        break;
    case TRasdialAction::raPhonebook:
        ListPhonebook(service, out);
        break;
    case TRasdialAction::raDial:
        Dial(command, service, nowMs, out);
        break;
    case TRasdialAction::raHangUp: {
        TConnectionRecord hungUp = service.HangUpEntry(command.Entry, nowMs, command.LingerMs);
        out << "Disconnected " << AnsiToUtf8(hungUp.Entry) << " (handle " << Hex(hungUp.Handle) << ")\n";
        break;
    }
    case TRasdialAction::raAdd:
        service.AddEntry(command.NewEntry);
        out << "Added " << name << '\n';
        break;
    case TRasdialAction::raRemove: {
        TPhonebookEntry removed = service.RemoveEntry(command.Entry);
        out << "Removed " << AnsiToUtf8(removed.Name) << '\n';
        break;
    }
    }
}
