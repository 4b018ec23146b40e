// The service's messages word for word: rasdial prints them and the library's callers log
// them, in UTF-8 whatever the code page of the names they quote.

#include "ras/service/AnsiText.h"
#include "ras/service/Phonebook.h"
#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "tests/support/Raised.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

TEST(ServiceMessages, QuoteNamesAndHandlesReadably)
{
    TTempDir dir;
    TRasService service(dir.File("ras"));
    service.AddEntry({"Caf\xE9", "modem", "Modem", 56000, ""});
    const HRASCONN handle = service.Dial("caf\xC9", {}, 0);

    const struct {
        std::function<void()> Failing;
        const char* Message;
    } cases[] = {
        {[&] { service.Dial("Caf\xE9", {}, 0); }, "\"Caf\xC3\xA9\" is already connected (handle 0x00010001)"},
        {[&] { service.HangUp(0xBEEF, 0); }, "There is no connection with the handle 0x0000beef"},
        {[&] { service.HangUpEntry("\x80uro", 0); }, "\"\xE2\x82\xACuro\" is not connected"},
        {[&] { service.RemoveEntry("%1"); }, "The phonebook has no entry \"%1\""},
        {[&] {
             service.AddEntry({"CAF\xC9", "modem", "", 0, ""});
         },
            "The phonebook already has an entry \"Caf\xC3\xA9\""},
        {[&] {
             service.AddEntry({"", "modem", "", 0, ""});
         },
            "The entry name must not be empty"},
        {[&] {
             service.AddEntry({"X", "modem", std::string(129, 'd'), 0, ""});
         },
            "The device name is 129 characters long; at most 128 are allowed"},
        {[&] {
             service.AddEntry({"X", "modem", "", 0, "1\n2"});
         },
            "The phone number must not contain line breaks or NUL characters"},
        {[] { ParsePhonebook("[A]\r\n[\xC4]\r\n[\xE4]\r\n"); },
            "The phonebook is corrupt: line 3 repeats the entry \xC3\xA4"},
        {[] { ParsePhonebook("[A]\r\nSpeed=fast\r\n"); },
            "The phonebook is corrupt: line 2 has a speed that is not a number"},
    };
    EXPECT_EQ(handle, 0x00010001u);
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<ERasService>(c.Failing), c.Message);
}

TEST(ServiceMessages, TextFromOutsideIsShownAsUtf8)
{
    const struct {
        const char* Bytes;
        const char* Shown;
    } cases[] = {
        {"Caf\xC3\xA9", "Caf\xC3\xA9"},
        {"\xEF\xBB\xBFname", "name"},
        {"a\xFF"
         "b",
            "a\xEF\xBF\xBD"
            "b"},
        {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadableUtf8(c.Bytes), c.Shown) << c.Bytes;
}

TEST(ServiceMessages, OnlyWellFormedUtf8InTheCodePageBecomesAnsi)
{
    const struct {
        const char* Utf8;
        std::optional<std::string> Ansi;
    } cases[] = {
        {"\xE2\x82\xAC \xC3\xA4\xC2\x81", "\x80 \xE4\x81"},
        {"\xEF\xBB\xBF"
         "A",
            "A"},
        {"A\xEF\xBB\xBF", std::nullopt},
        {"\xC1\x81", std::nullopt},
        {"\xED\xA0\x80", std::nullopt},
        {"\xF0\x9F\x98\x80", std::nullopt},
        {"\xE6\x9D\xB1", std::nullopt},
        {"\xC3", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8ToAnsi(c.Utf8), c.Ansi) << c.Utf8;
    EXPECT_EQ(AnsiToUtf8(std::string("\x80\x00\x9D", 3)), std::string("\xE2\x82\xAC\x00\xC2\x9D", 6));
}

} // namespace
