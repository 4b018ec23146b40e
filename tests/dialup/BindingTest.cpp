#include "dialup/RasBinding.h"

#include "base/Exceptions.h"
#include "dialup/Seams.h"
#include "platform/Library.h"
#include "platform/Seams.h"
#include "tests/support/PlatformSeamScope.h"
#include "tests/support/Raised.h"
#include "tests/support/SeamScope.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <functional>
#include <string>

namespace {

// The program's one binding, forgotten (as at program start) by assigning {}.
TRasBindingState& Binding()
{
    return DialUpSeams().RasBinding;
}

// The fake libraries answer with their base (rasapi32 100, rnaph 300) plus a number per name;
// a name with a second "A" appended answers 50 higher.
class BindingTest : public ::testing::Test {
protected:
    void SetUp() override { Binding() = {}; }

    static std::string VariantDir(const char* variant) { return std::string(FAKE_RAS_DIR) + "/" + variant; }
    static void UseVariant(const char* variant) { PlatformSeams().LibrarySearchPath = {VariantDir(variant)}; }

    static DWORD EnumEntries(std::string* firstName = nullptr)
    {
        RASENTRYNAMEA names[2] = {};
        names[0].dwSize = sizeof(RASENTRYNAMEA);
        DWORD bytes = sizeof(names);
        DWORD count = 0;
        DWORD result = RasBinding::RasEnumEntriesA(nullptr, nullptr, names, &bytes, &count);
        if (firstName)
            *firstName = count == 1 ? names[0].szEntryName : "";
        return result;
    }

    // The handle LoadLibraryA gives for that library now (the same as the binding's when it
    // has that library loaded).
    static HMODULE Loaded(const char* name)
    {
        HMODULE module = LoadLibraryA(name);
        FreeLibrary(module);
        return module;
    }

    TPlatformSeamScope Seams;
    TSeamScope<TDialUpSeams> DialUpShared{DialUpSeams()};
};

TEST_F(BindingTest, WithoutLibraryEveryFunctionFailsAndNothingIsRemembered)
{
    UseVariant("missing");
    const std::function<void()> calls[] = {
        [] { EnumEntries(); },
        [] {
            RASCONNA connections[1] = {};
            DWORD bytes = sizeof(connections), count = 0;
            RasBinding::RasEnumConnectionsA(connections, &bytes, &count);
        },
        [] {
            RASCONNSTATUSA status = {};
            RasBinding::RasGetConnectStatusA(1, &status);
        },
        [] { RasBinding::RasHangUpA(1); },
        [] {
            char text[101] = {};
            RasBinding::RasGetErrorStringA(678, text, 100);
        },
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& call : calls) {
            EXPECT_EQ(MessageOf<Exception>(call), "Error opening rasapi.dll");
            EXPECT_FALSE(Binding().Loaded);
            EXPECT_FALSE(Binding().FallbackUsed);
        }
    }

    // Once the library is there, the very next call binds it.
    UseVariant("bound");
    EXPECT_EQ(EnumEntries(), 101u);
    EXPECT_TRUE(Binding().Loaded);
}

TEST_F(BindingTest, FirstFoundFunctionBindsRasapi32AndArgumentsPassThrough)
{
    UseVariant("bound");
    std::string name;
    EXPECT_EQ(EnumEntries(&name), 101u);
    EXPECT_EQ(name, "rasapi32");
    EXPECT_TRUE(Binding().Loaded);
    EXPECT_FALSE(Binding().FallbackUsed);
    EXPECT_EQ(Binding().Library, Loaded("rasapi32.dll"));

    RASCONNSTATUSA status = {};
    EXPECT_EQ(RasBinding::RasGetConnectStatusA(7, &status), 103u);
    EXPECT_EQ(status.dwError, 7u);

    char text[101] = {};
    EXPECT_EQ(RasBinding::RasGetErrorStringA(678, text, 100), 0u);
    EXPECT_STREQ(text, "rasapi32 error 678 size 100 caf\xE9");
}

TEST_F(BindingTest, Rasapi32IsAskedForTheNameWithAppendedAFirst)
{
    UseVariant("bound");
    RASCONNA connections[1] = {};
    DWORD bytes = sizeof(connections), count = 0;
    // First use, then bound: both times "RasEnumConnectionsAA" wins over "RasEnumConnectionsA".
    EXPECT_EQ(RasBinding::RasEnumConnectionsA(connections, &bytes, &count), 152u);
    EXPECT_TRUE(Binding().Loaded);
    EXPECT_EQ(RasBinding::RasEnumConnectionsA(connections, &bytes, &count), 152u);
}

TEST_F(BindingTest, BoundLibraryLackingAFunctionStaysBound)
{
    UseVariant("bound");
    EnumEntries();
    HMODULE bound = Binding().Library;

    EXPECT_EQ(MessageOf<Exception>([] { RasBinding::RasHangUpA(1); }), "Function RasHangUpA not found!");
    EXPECT_TRUE(Binding().Loaded);
    EXPECT_FALSE(Binding().FallbackUsed);
    EXPECT_EQ(Binding().Library, bound);

    RASCONNSTATUSA status = {};
    EXPECT_EQ(RasBinding::RasGetConnectStatusA(1, &status), 103u);
}

TEST_F(BindingTest, FirstFunctionMissingAndNoRnaphLeavesTheBindingOpen)
{
    UseVariant("bound"); // has no librnaph.so
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(MessageOf<Exception>([] { RasBinding::RasHangUpA(1); }), "Error opening rnaph.dll");
        EXPECT_FALSE(Binding().Loaded);
        EXPECT_FALSE(Binding().FallbackUsed);
    }
    EXPECT_EQ(EnumEntries(), 101u);
    EXPECT_TRUE(Binding().Loaded);
    EXPECT_FALSE(Binding().FallbackUsed);
}

TEST_F(BindingTest, FunctionOnlyInRnaphSwitchesToItForGood)
{
    UseVariant("fallback");
    std::string name;
    EXPECT_EQ(EnumEntries(&name), 301u);
    EXPECT_EQ(name, "rnaph");
    EXPECT_TRUE(Binding().Loaded);
    EXPECT_TRUE(Binding().FallbackUsed);
    EXPECT_EQ(Binding().Library, Loaded("rnaph.dll"));

    // From now on only the bare name is asked for, although rnaph also has "RasHangUpAA".
    EXPECT_EQ(RasBinding::RasHangUpA(2), 306u);

    EXPECT_EQ(MessageOf<Exception>([] {
        char text[101] = {};
        RasBinding::RasGetErrorStringA(678, text, 100);
    }),
        "Function RasGetErrorStringA not found!");
    EXPECT_TRUE(Binding().Loaded);
    EXPECT_TRUE(Binding().FallbackUsed);
    EXPECT_EQ(EnumEntries(), 301u);
}

TEST_F(BindingTest, FunctionInNeitherLibraryOnFirstUseBindsNothing)
{
    UseVariant("fallback");
    EXPECT_EQ(MessageOf<Exception>([] {
        char text[101] = {};
        RasBinding::RasGetErrorStringA(678, text, 100);
    }),
        "Function RasGetErrorStringA not found!");
    EXPECT_FALSE(Binding().Loaded);
    EXPECT_FALSE(Binding().FallbackUsed);

    EXPECT_EQ(RasBinding::RasHangUpA(2), 306u);
    EXPECT_TRUE(Binding().FallbackUsed);
}

// The addresses found are kept only for the library bound: after a reset or a release, a
// library lacking a function says so instead of being handed the old library's address.
TEST_F(BindingTest, AddressesFoundAreForgottenWithTheirBinding)
{
    for (bool release : {false, true}) {
        SCOPED_TRACE(release ? "released" : "reset");
        Binding() = {};
        UseVariant("fallback");
        EXPECT_EQ(RasBinding::RasHangUpA(2), 306u);
        EXPECT_EQ(RasBinding::RasHangUpA(3), 307u);
        ASSERT_TRUE(Binding().FallbackUsed);
        if (release)
            ReleaseRasBinding();
        else
            Binding() = {};

        UseVariant("bound");
        EXPECT_EQ(MessageOf<Exception>([] { RasBinding::RasHangUpA(1); }), "Error opening rnaph.dll");
        EXPECT_EQ(EnumEntries(), 101u);
        EXPECT_EQ(MessageOf<Exception>([] { RasBinding::RasHangUpA(1); }), "Function RasHangUpA not found!");
        EXPECT_EQ(EnumEntries(), 101u);
    }
}

TEST_F(BindingTest, ProgramEndReleasesOnlyTheFallbackLibrary)
{
    UseVariant("bound");
    EnumEntries();
    HMODULE bound = Binding().Library;
    ReleaseRasBinding();
    EXPECT_TRUE(Binding().Loaded);
    EXPECT_EQ(Binding().Library, bound);
    EXPECT_EQ(EnumEntries(), 101u);

    // This folder is used by no other test, so the binding holds the only reference.
    Binding() = {};
    UseVariant("fallback-release");
    EXPECT_EQ(EnumEntries(), 301u);
    const std::string rnaph = VariantDir("fallback-release") + "/librnaph.so";
    void* stillLoaded = ::dlopen(rnaph.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(stillLoaded, nullptr);
    ::dlclose(stillLoaded);

    ReleaseRasBinding();
    EXPECT_EQ(::dlopen(rnaph.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
    EXPECT_FALSE(Binding().Loaded);
    EXPECT_FALSE(Binding().FallbackUsed);
    EXPECT_EQ(Binding().Library, nullptr);
}

} // namespace
