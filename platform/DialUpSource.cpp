#include "platform/DialUpSource.h"

#include "platform/Seams.h"

#include "ras/service/RasFolder.h"
#include "ras/service/RasService.h"

#include <chrono>
#include <exception>

namespace {

// Reads the installed service if a test chose one, else the one the environment names.
template <typename TResult, typename TRead>
TResult ReadService(TRead read)
{
    try {
        if (TRasService* chosen = PlatformSeams().DialUpService)
            return read(*chosen, DialUpNowMs());
        const TRasService Service(ResolveRasFolder());
        return read(Service, DialUpNowMs());
    } catch (const std::exception&) {
        // A damaged or unreadable service looks like no dial-up networking at all.
        return {};
    }
}

} // namespace

std::vector<TPhonebookEntry> DialUpPhonebook()
{
    return ReadService<std::vector<TPhonebookEntry>>(
        [](const TRasService& Service, int64_t) { return Service.Phonebook(); });
}

std::vector<TConnectionView> DialUpConnections()
{
    return ReadService<std::vector<TConnectionView>>(
        [](const TRasService& Service, int64_t Now) { return Service.Connections(Now); });
}

int64_t DialUpNowMs()
{
    const TPlatformSeams& seams = PlatformSeams();
    if (seams.DialUpService && seams.DialUpNow)
        return seams.DialUpNow();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}
