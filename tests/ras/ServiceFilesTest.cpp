#include "base/ScopeGuard.h"
#include "ras/service/FileLock.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasFolder.h"
#include "ras/service/RasService.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <thread>

namespace {

constexpr int64_t T0 = 1'800'000'000'000;
const std::string kPhonebook = "[Provider]\r\nDEVICE=modem\r\nDevice=Modem\r\nSpeed=56000\r\n";

TEST(ConnectionTableFileTest, RoundTripsAnyTextAndEveryField)
{
    std::string allBytes;
    for (int c = 1; c < 256; ++c)
        allBytes += static_cast<char>(c);
    TConnectionTable table;
    table.NextHandle = 0x00010003;
    table.Records.push_back({0x00010001, allBytes, "", "\" % \"", 0, 0, 0, std::nullopt, 0, std::nullopt, 0});
    table.Records.push_back({0x00010002, "ISP [fast]", "isdn", "AVM", UINT32_MAX, kMaxTimeMs, kMaxDurationMs,
        RASCS_Authenticate, 678, T0, 2000});

    EXPECT_EQ(ParseConnectionTable(SerializeConnectionTable(table)), table);
}

// Damaged tables, each made from a good one.
TEST(ConnectionTableFileTest, DamageIsReportedAndNothingIsOverwritten)
{
    TTempDir dir;
    dir.Write("rasphone.pbk", kPhonebook);
    TRasService service(dir.Path());
    HRASCONN handle = service.Dial("Provider", {}, T0);
    const std::string good = dir.Read("connections");
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };

    const std::string damaged[] = {
        good.substr(0, good.size() / 2),
        good.substr(0, good.size() - 1),  // last line cut
        good.substr(0, good.find("End")), // end line missing
        "",
        replaced("ZeltixRasConnections 1", "ZeltixRasConnections 2"),
        replaced("\"Provider\"", "\"Pro%G1\""), // broken escape
        replaced("\"Provider\"", "\"Pro%4\""),  // escape cut short
        replaced("\"Provider\"", "Provider"),   // quotes missing
        replaced("NextHandle 65538", "NextHandle 65537"),
        replaced("End 1", "End 2"),
        replaced("End 1", "End 1 more"),
        replaced(" 5000 ", " -5000 "),
        replaced(" 5000 ", " 5000  "),
        good + good.substr(good.find("Connection")),
    };
    for (const std::string& table : damaged) {
        SCOPED_TRACE(table);
        dir.Write("connections", table);
        EXPECT_THROW(service.Connections(T0), ERasCorruptTable);
        EXPECT_THROW(service.Find(handle, T0), ERasCorruptTable);
        EXPECT_THROW(service.HangUp(handle, T0), ERasCorruptTable);
        EXPECT_THROW(service.Dial("Provider", {}, T0), ERasCorruptTable);
        EXPECT_EQ(dir.Read("connections"), table);
        EXPECT_EQ(dir.Read("rasphone.pbk"), kPhonebook);
    }
}

TEST(PhonebookFileTest, DamageIsReportedAndTheFileIsNeverRewritten)
{
    const std::string damaged[] = {
        "garbage\r\n" + kPhonebook,
        "Speed=1\r\n" + kPhonebook,                                             // a setting outside any entry
        kPhonebook + "[provider]\r\n",                                          // the same entry twice
        kPhonebook + "[\x8Akoda Caf\xE9]\r\n[Other]\r\n[\x9Akoda CAF\xC9]\r\n", // folded as Windows-1252
        kPhonebook + "[Other]\r\nSpeed=fast\r\n",
        kPhonebook + "[]\r\n",
        kPhonebook + "[Unclosed\r\n",
        kPhonebook + std::string("\0", 1),
    };
    for (const std::string& phonebook : damaged) {
        SCOPED_TRACE(phonebook);
        TTempDir dir;
        dir.Write("rasphone.pbk", phonebook);
        TRasService service(dir.Path());
        EXPECT_THROW(service.Phonebook(), ERasCorruptPhonebook);
        EXPECT_THROW(service.AddEntry({"New", "modem", "Modem", 56000, ""}), ERasCorruptPhonebook);
        EXPECT_THROW(service.RemoveEntry("Provider"), ERasCorruptPhonebook);
        EXPECT_THROW(service.Dial("Provider", {}, T0), ERasCorruptPhonebook);
        EXPECT_EQ(dir.Read("rasphone.pbk"), phonebook);
        EXPECT_FALSE(dir.Exists("connections"));
    }
}

TEST(RasFolderTest, ServiceFolderComesFromTheEnvironment)
{
    auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    auto restore = [](const char* name, const std::optional<std::string>& value) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    };
    std::optional<std::string> dir = saved("ZELTIX_RAS_DIR"), xdg = saved("XDG_CONFIG_HOME"), home = saved("HOME");

    ::setenv("ZELTIX_RAS_DIR", "/tmp/ras-here", 1);
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    ::setenv("HOME", "/home/user", 1);
    EXPECT_EQ(ResolveRasFolder(), "/tmp/ras-here");
    ::unsetenv("ZELTIX_RAS_DIR");
    EXPECT_EQ(ResolveRasFolder(), "/cfg/zeltix-ras");
    ::setenv("XDG_CONFIG_HOME", "relative", 1); // not a valid XDG folder
    EXPECT_EQ(ResolveRasFolder(), "/home/user/.config/zeltix-ras");

    restore("ZELTIX_RAS_DIR", dir);
    restore("XDG_CONFIG_HOME", xdg);
    restore("HOME", home);
}

// Every dial is a read-modify-write of the table; without the lock some would be lost.
TEST(ServiceLockingTest, ConcurrentDialsAreAllKept)
{
    // Eight writers queue for the lock, each save with its fsync: on a loaded machine the last
    // waits longer than a poll would. What counts here is that no update is lost.
    const int64_t pollWait = LockWaitMs();
    SetLockWaitMs(60000);
    const TScopeExit putBack([pollWait] { SetLockWaitMs(pollWait); });
    TTempDir dir;
    const int count = 8;
    for (int i = 0; i < count; ++i)
        TRasService(dir.Path()).AddEntry({"Entry " + std::to_string(i), "modem", "Modem", 56000, ""});
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&dir, &failures, i] {
            TRasService own(dir.Path());
            try {
                for (int round = 0; round < 5; ++round) {
                    HRASCONN h = own.Dial("Entry " + std::to_string(i), {.LingerMs = 1'000'000}, T0);
                    own.HangUp(h, T0);
                }
            } catch (const ERasService&) {
                ++failures; // a lost update shows as a vanished handle or entry
            }
        });
    for (std::thread& t : threads)
        t.join();

    EXPECT_EQ(failures, 0);

    std::set<HRASCONN> handles;
    for (const TConnectionView& view : TRasService(dir.Path()).Connections(T0))
        handles.insert(view.Handle);
    EXPECT_EQ(handles.size(), size_t(count * 5));
}

} // namespace
