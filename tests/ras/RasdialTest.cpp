// rasdial as a user runs it: separate processes sharing one service folder. States are made
// certain with a connect time of 0 and linger times far longer than a test runs.

#include "ras/service/RasService.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

class RasdialTest : public ::testing::Test {
protected:
    TChildResult Run(const std::vector<std::string>& args)
    {
        return RunChild(RASDIAL_PATH, args, {"ZELTIX_RAS_DIR=" + Dir.Path()});
    }

    // The exit code and standard output of a run that must succeed.
    std::string Ok(const std::vector<std::string>& args)
    {
        TChildResult r = Run(args);
        EXPECT_EQ(r.ExitCode, 0) << r.Err;
        EXPECT_EQ(r.Err, "");
        return r.Out;
    }

    TTempDir Dir;
};

TEST_F(RasdialTest, AddDialListAndHangUp)
{
    EXPECT_EQ(Ok({}), "No connections\n");
    EXPECT_EQ(Ok({"--add", "Provider", "--phone", "0191011"}), "Added Provider\n");
    Ok({"--add", "ISDN Provider", "--type", "isdn"});
    EXPECT_EQ(Ok({"--phonebook"}),
        "Provider: modem, Standard 56000 bps Modem, 56000 bps, phone 0191011\n"
        "ISDN Provider: isdn, AVM ISDN Controller, 64000 bps\n");

    EXPECT_EQ(Ok({"provider", "--connect-after", "0", "--linger", "100000"}),
        "Dialing Provider (handle 0x00010001): connected in 0 s\n");
    EXPECT_EQ(Ok({}), "Provider 0x00010001 RASCS_Connected\n");
    EXPECT_EQ(Ok({}), "Provider 0x00010001 RASCS_Connected\n"); // and again, from another process

    // The program sees it through the service in-process.
    int64_t now =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    std::vector<TConnectionView> views = TRasService(Dir.Path()).Connections(now);
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].State, RASCS_Connected);

    EXPECT_EQ(Ok({"ISDN Provider", "--state", "RASCS_Authenticate", "--error", "691"}),
        "Dialing ISDN Provider (handle 0x00010002): held in RASCS_Authenticate, error 691\n");
    EXPECT_EQ(Ok({"Provider", "/DISCONNECT"}), "Disconnected Provider (handle 0x00010001)\n");
    EXPECT_EQ(Ok({"ISDN PROVIDER", "/d", "--linger", "0"}), "Disconnected ISDN Provider (handle 0x00010002)\n");
    EXPECT_EQ(Ok({}), "Provider 0x00010001 RASCS_Disconnected\n");

    EXPECT_EQ(Ok({"--remove", "isdn provider"}), "Removed ISDN Provider\n");
    EXPECT_THAT(Ok({"--phonebook"}), StartsWith("Provider:"));
}

TEST_F(RasdialTest, NamesAreUtf8OnTheCommandLineAndWindows1252InThePhonebook)
{
    Ok({"--add", "Caf\u00e9 [fast]", "--speed", "33600"});
    EXPECT_THAT(Dir.Read("rasphone.pbk"), HasSubstr("[Caf\xE9 [fast]]\r\n"));
    EXPECT_EQ(Ok({"--phonebook"}), "Caf\u00e9 [fast]: modem, Standard 56000 bps Modem, 33600 bps\n");
    Ok({"CAF\u00c9 [FAST]", "--connect-after=0"});
    EXPECT_EQ(Ok({}), "Caf\u00e9 [fast] 0x00010001 RASCS_Connected\n");
}

TEST_F(RasdialTest, FailuresExitNonZeroWithAMessage)
{
    Ok({"--add", "Provider"});
    Ok({"Provider", "--linger", "100000"});
    struct TCase {
        std::vector<std::string> Args;
        int ExitCode;
        const char* Message;
    };
    const TCase cases[] = {
        {{"Nobody"}, 1, "no entry \"Nobody\""},
        {{"PROVIDER"}, 1, "already connected"},
        {{"Nobody", "/DISCONNECT"}, 1, "not connected"},
        {{"--add", "provider"}, 1, "already has an entry"},
        {{"--remove", "Nobody"}, 1, "no entry"},
        {{"--add", std::string(257, 'n')}, 1, "at most 256"},
        {{"--bogus"}, 2, "Unknown option --bogus"},
        {{"/x"}, 2, "Unknown option /x"},
        {{"--add", "X", "--speed"}, 2, "--speed needs a value"},
        {{"--add", "X", "--speed", "12x"}, 2, "whole number"},
        {{"--add", "X", "--type", "carrier-pigeon"}, 2, "modem or isdn"},
        {{"--add", "\u6771\u4eac"}, 2, "Windows-1252"},
        {{"Provider", "--connect-after", "-1"}, 2, "number of seconds"},
        {{"Provider", "--state", "99"}, 2, "not a connection state"},
        {{"Provider", "--device", "Modem"}, 2, "--device cannot be used when dialling"},
        {{"One", "Two"}, 2, "Unexpected argument \"Two\""},
        {{"/DISCONNECT"}, 2, "needs the name"},
    };
    for (const TCase& c : cases) {
        TChildResult r = Run(c.Args);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << c.Args[0];
        EXPECT_THAT(r.Err, HasSubstr(c.Message)) << c.Args[0];
        EXPECT_EQ(r.Out, "") << c.Args[0];
    }

    Dir.Write("connections", "ZeltixRasConnections 1\nNextHand");
    TChildResult r = Run({});
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_THAT(r.Err, HasSubstr("connection table is corrupt"));
}

TEST_F(RasdialTest, SwitchesIgnoreCaseAndMessagesShowArgumentsReadably)
{
    Ok({"--add", "Provider", "--type", "ISDN"});
    EXPECT_EQ(Ok({"--phonebook"}), "Provider: isdn, AVM ISDN Controller, 64000 bps\n");
    Ok({"Provider", "--connect-after", "0", "--linger", "100000"});
    EXPECT_EQ(Ok({"Provider", "/Disconnect"}), "Disconnected Provider (handle 0x00010001)\n");

    const struct {
        std::vector<std::string> Args;
        const char* Err;
    } cases[] = {
        {{"--add", "\xFF"}, "rasdial: \"\xEF\xBF\xBD\" cannot be written in the Windows-1252 code page\n"},
        {{"--Add", "X"}, "rasdial: Unknown option --Add\n"},
        {{"--phonebook=yes"}, "rasdial: --phonebook takes no value\n"},
        {{"--add", "X", "--remove", "Y"}, "rasdial: --add, --remove, --phonebook and /DISCONNECT cannot be combined\n"},
        {{"--help", "--add", "X", "--remove", "Y"}, nullptr},
        {{"Provider", "--error", "1", "--error", "2"}, "rasdial: --error is given twice\n"},
        {{"--remove", "X", "--linger", "1"}, "rasdial: --linger cannot be used with --remove\n"},
        {{"Provider", "/d", "--state", "1"}, "rasdial: --state cannot be used when hanging up\n"},
    };
    for (const auto& c : cases) {
        TChildResult r = Run(c.Args);
        if (!c.Err) {
            EXPECT_EQ(r.ExitCode, 0) << c.Args[0] << " wins over everything else";
            continue;
        }
        EXPECT_EQ(r.ExitCode, 2) << c.Err;
        EXPECT_EQ(r.Err, std::string(c.Err) + "Try 'rasdial --help'.\n");
    }
}

TEST_F(RasdialTest, HelpShowsTheUsage)
{
    EXPECT_THAT(Ok({"--help"}), HasSubstr("rasdial ENTRY /DISCONNECT"));
}

} // namespace
