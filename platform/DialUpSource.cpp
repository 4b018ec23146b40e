#include "platform/DialUpSource.h"

#include "platform/Seams.h"
#include "platform/Timer.h"

#include "ras/service/RasFolder.h"
#include "ras/service/RasService.h"

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace {

// What one timer tick has read of the service: its other reads in the same tick are answered
// from here (telephony, the registry statistics and the performance data all ask within one
// tick of the session clock).
struct TTickSnapshot {
    uint64_t Serial = 0;
    std::string Folder;
    std::optional<std::vector<TPhonebookEntry>> Phonebook;
    std::optional<std::vector<TConnectionView>> Connections;
};

TTickSnapshot& Snapshot()
{
    static TTickSnapshot snapshot;
    return snapshot;
}

// The installed service's object, made again only when the environment names another folder.
const TRasService& InstalledService(const std::string& folder)
{
    static std::unique_ptr<TRasService> service;
    if (!service || service->Folder() != folder)
        service = std::make_unique<TRasService>(folder);
    return *service;
}

// Reads the installed service if a test chose one, else the one the environment names; within a
// timer tick, once per tick.
template <typename TResult, typename TRead>
TResult ReadService(std::optional<TResult> TTickSnapshot::*kept, TRead read)
{
    try {
        if (TRasService* chosen = PlatformSeams().DialUpService)
            return read(*chosen, DialUpNowMs());
        const std::string folder = ResolveRasFolder();
        TTickSnapshot& snapshot = Snapshot();
        const bool sameTick = InTimerTick() && snapshot.Serial == TimerTickSerial() && snapshot.Folder == folder;
        if (!sameTick) {
            snapshot = {TimerTickSerial(), folder, std::nullopt, std::nullopt};
        } else if (snapshot.*kept) {
            return *(snapshot.*kept);
        }
        TResult result = read(InstalledService(folder), DialUpNowMs());
        if (!InTimerTick())
            return result;
        snapshot.*kept = std::move(result);
        return *(snapshot.*kept);
    } catch (const std::exception&) {
        // A damaged or unreadable service looks like no dial-up networking at all.
        return {};
    }
}

} // namespace

std::vector<TPhonebookEntry> DialUpPhonebook()
{
    return ReadService<std::vector<TPhonebookEntry>>(
        &TTickSnapshot::Phonebook, [](const TRasService& Service, int64_t) { return Service.Phonebook(); });
}

std::vector<TConnectionView> DialUpConnections()
{
    return ReadService<std::vector<TConnectionView>>(
        &TTickSnapshot::Connections, [](const TRasService& Service, int64_t Now) { return Service.Connections(Now); });
}

int64_t DialUpNowMs()
{
    const TPlatformSeams& seams = PlatformSeams();
    if (seams.DialUpService && seams.DialUpNow)
        return seams.DialUpNow();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
