// rasdial: dials, hangs up and lists the stand-in's dial-up connections and edits its
// phonebook, from a shell or a test script.

#include "ras/rasdial/Commands.h"

#include "ras/service/FileLock.h"
#include "ras/service/NmBus.h"
#include "ras/service/RasFolder.h"

#include <chrono>
#include <iostream>

int main(int argc, char** argv)
{
    try {
        TRasdialCommand command = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        // One look, not a poll: NetworkManager's answers are worth waiting for.
        TNmBus::Shared().SetWaitBudgetMs(1000);
        SetLockWaitMs(command.LockWaitMs);
        TRasService service(command.Action == TRasdialAction::raHelp ? std::string() : ResolveRasFolder());
        int64_t nowMs =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        RunRasdialCommand(command, service, nowMs, std::cout);
        std::cout.flush();
        return std::cout ? 0 : 1;
    } catch (const ERasdialUsage& e) {
        std::cerr << "rasdial: " << e.what() << "\nTry 'rasdial --help'.\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "rasdial: " << e.what() << '\n';
        return 1;
    }
}
