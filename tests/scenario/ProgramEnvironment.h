#pragma once

#include "app/Dialogs.h"
#include "app/Seams.h"
#include "tests/app/ApplicationScope.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/FormatLocaleScope.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/PppTree.h"
#include "tests/support/SeamScope.h"
#include "tests/support/TempDir.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>

// What the whole program needs around it in a scenario: German formats, a program folder and a
// dial-up service folder of its own, the built library, dialogs answered with OK and, when
// given, a local address. Everything is put back when the scenario ends, also after a failed
// assertion.
struct TProgramEnvironment {
    explicit TProgramEnvironment(std::optional<std::array<uint8_t, 4>> localAddress = std::nullopt)
    {
        ::setenv("ZELTIX_RAS_DIR", RasFolder.Path().c_str(), 1);
        Seams->LibrarySearchPath = {TFakeDialUpService::BinaryDir()};
        Seams->ProgramDir = QString::fromStdString(ProgramFolder.Path());
        App->DialogAnswerer = [](const TDialogRequest&) { return TDialogAnswer{}; };
        if (localAddress)
            Seams->Sockets.LocalAddresses = {*localAddress};
    }
    ~TProgramEnvironment() { ::unsetenv("ZELTIX_RAS_DIR"); }
    TProgramEnvironment(const TProgramEnvironment&) = delete;
    TProgramEnvironment& operator=(const TProgramEnvironment&) = delete;

    TPlatformSeamScope Seams;
    TFormatLocaleScope GermanFormats{"de_DE.UTF-8"};
    TApplicationEventScope ApplicationEvents;
    TSeamScope<TAppSeams> App{AppSeams()};
    TTempDir ProgramFolder;
    TTempDir RasFolder;
};

// The whole program on a dial-up service of the test's own with a fake clock (see
// TFakeDialUpService) and a fake system tree for pppd: German formats, a program folder, and
// dialogs answered with OK.
struct TFakeServiceEnvironment {
    TFakeServiceEnvironment()
    {
        Seams->ProgramDir = QString::fromStdString(ProgramFolder.Path());
        App->DialogAnswerer = [](const TDialogRequest&) { return TDialogAnswer{}; };
    }

    TFormatLocaleScope GermanFormats{"de_DE.UTF-8"};
    TApplicationEventScope ApplicationEvents;
    TPlatformSeamScope Seams;
    TSeamScope<TAppSeams> App{AppSeams()};
    TTempDir ProgramFolder;
    TFakeClock Clock;
    TFakeDialUpService DialUp{Clock};
    TPppTree Tree;
};
