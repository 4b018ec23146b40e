#pragma once

#include "dialup/DialUp.h"
#include "dialup/Seams.h"
#include "platform/Kernel.h"
#include "platform/PerfData.h"
#include "platform/PerfStats.h"
#include "platform/Seams.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeDialUpService.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/SeamScope.h"

#include <QObject>

#include <gtest/gtest.h>

#include <string>

// The statistics fields that only the component itself reads.
struct TStatisticsProbe {
    static int StatHandle(const TDialUp& DialUp) { return DialUp.StatHandle; }
    static const std::string& StatDeviceName(const TDialUp& DialUp) { return DialUp.StatDeviceName; }
    static DWORD BaseBytesXmit(const TDialUp& DialUp) { return DialUp.BaseBytesXmit; }
    static DWORD BaseBytesRecv(const TDialUp& DialUp) { return DialUp.BaseBytesRecv; }
    static DWORD RawBytesXmit(const TDialUp& DialUp) { return DialUp.RawBytesXmit; }
    static DWORD RawBytesRecv(const TDialUp& DialUp) { return DialUp.RawBytesRecv; }
};

constexpr const char* ModemName = "Standard 56000 bps Modem";

// A dial-up service of the test's own at fake time, read by the registry and telephony, and a
// component created on the platform the test chooses. Every seam is put back afterwards.
class StatisticsTest : public ::testing::Test {
protected:
    void SetUp() override { DialUpShared->PerfDataBufferSize = 0; }

    // The component as created on that platform (creation reads the adapter list).
    TDialUp* Create(int PlatformId)
    {
        Seams->PlatformId = PlatformId;
        return new TDialUp(&Owner);
    }

    // A connection that has been connected for a minute.
    HRASCONN DialConnected(
        const std::string& Entry = "Provider", const std::string& Device = ModemName, uint32_t Speed = 56000)
    {
        Service.AddEntry(Entry, "modem", Device, Speed);
        const HRASCONN Handle = Service.Dial(Entry);
        Clock.AdvanceSeconds(65);
        return Handle;
    }

    TConnectionView View(HRASCONN Handle) { return *Service.Service().Find(Handle, Clock.EpochMs()); }

    TPlatformSeamScope Seams;
    TSeamScope<TDialUpSeams> DialUpShared{DialUpSeams()};
    TFakeClock Clock;
    TFakeDialUpService Service{Clock};
    QObject Owner;
};
