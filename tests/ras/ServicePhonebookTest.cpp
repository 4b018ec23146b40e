#include "ras/service/RasErrors.h"
#include "ras/service/RasService.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TPhonebookEntry Entry(std::string name, std::string type = "modem", std::string device = "Standard 56000 bps Modem",
    uint32_t speed = 56000, std::string phone = "")
{
    return {std::move(name), std::move(type), std::move(device), speed, std::move(phone)};
}

std::vector<std::string> Names(const std::vector<TPhonebookEntry>& entries)
{
    std::vector<std::string> names;
    for (const TPhonebookEntry& e : entries)
        names.push_back(e.Name);
    return names;
}

class ServicePhonebookTest : public ::testing::Test {
protected:
    TTempDir Dir;
    TRasService Service{Dir.File("ras")};
};

TEST_F(ServicePhonebookTest, MissingFolderIsEmptyUntilTheFirstEdit)
{
    EXPECT_TRUE(Service.Phonebook().empty());
    EXPECT_TRUE(Service.Connections(0).empty());
    EXPECT_FALSE(Dir.Exists("ras"));

    Service.AddEntry(Entry("Provider"));
    EXPECT_TRUE(Dir.Exists("ras/rasphone.pbk"));
}

TEST_F(ServicePhonebookTest, EntriesKeepFileOrderFieldsAndSpelling)
{
    const std::vector<TPhonebookEntry> added = {
        Entry("Provider", "modem", "Standard 56000 bps Modem", 56000, "0191011"),
        Entry("ISP [fast]", "isdn", "AVM ISDN Controller", 64000),
        Entry("Caf\xE9 \xC0 la carte"),
        Entry(std::string(256, 'n')),
        // Values the INI reader would trim or unquote must come back as given.
        Entry("Odd values", "modem", "\"quoted\"", 0, "  0800 "),
    };
    for (const TPhonebookEntry& e : added)
        Service.AddEntry(e);

    EXPECT_EQ(Service.Phonebook(), added);
    EXPECT_EQ(Service.FindEntry("isp [FAST]")->Name, "ISP [fast]");
    EXPECT_EQ(Service.FindEntry("CAF\xC9 \xE0 LA CARTE")->Name, "Caf\xE9 \xC0 la carte");
    EXPECT_FALSE(Service.FindEntry("ISP"));
    EXPECT_THROW(Service.AddEntry(Entry("PROVIDER")), ERasEntryExists);
    EXPECT_THROW(Service.AddEntry(Entry("caf\xE9 \xE0 LA carte")), ERasEntryExists);
}

TEST_F(ServicePhonebookTest, RefusesWhatThePhonebookOrTheRecordsCannotHold)
{
    Service.AddEntry(Entry("Provider"));
    const std::string before = Dir.Read("ras/rasphone.pbk");
    const TPhonebookEntry refused[] = {
        Entry(""),
        Entry(std::string(257, 'n')),
        Entry("two\r\nlines"),
        Entry(" leading blank"),
        Entry("trailing tab\t"),
        Entry("Long type", std::string(17, 't')),
        Entry("Long device", "modem", std::string(129, 'd')),
    };
    for (const TPhonebookEntry& e : refused)
        EXPECT_THROW(Service.AddEntry(e), ERasInvalidEntry) << e.Name;
    EXPECT_EQ(Dir.Read("ras/rasphone.pbk"), before);
}

TEST_F(ServicePhonebookTest, RemoveDropsOnlyThatEntry)
{
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        Service.AddEntry(Entry(name));

    EXPECT_EQ(Service.RemoveEntry("BETA").Name, "Beta");
    EXPECT_EQ(Names(Service.Phonebook()), (std::vector<std::string>{"Alpha", "Gamma"}));
    EXPECT_THROW(Service.RemoveEntry("Beta"), ERasUnknownEntry);

    Service.AddEntry(Entry("Beta"));
    EXPECT_EQ(Names(Service.Phonebook()), (std::vector<std::string>{"Alpha", "Gamma", "Beta"}));
}

TEST_F(ServicePhonebookTest, ReadsAHandEditedFileAndKeepsItsTextOnAdd)
{
    // LF line ends, comments, unknown keys, spaced keys, a lower-case device-name key and a
    // name longer than the records hold.
    const std::string handEdited = "; written by hand\n"
                                   "[Provider]\n"
                                   "Device = AVM\n"
                                   "DEVICE=isdn\n"
                                   "Speed = 64000\n"
                                   "Comment=kept\n"
                                   "\n"
                                   "[" +
        std::string(300, 'L') +
        "]\n"
        "device=\"  Modem  \"\n"
        "phonenumber=0800";
    std::filesystem::create_directory(Dir.File("ras"));
    Dir.Write("ras/rasphone.pbk", handEdited);

    std::vector<TPhonebookEntry> entries = Service.Phonebook();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], Entry("Provider", "isdn", "AVM", 64000));
    EXPECT_EQ(entries[1], Entry(std::string(300, 'L'), "", "  Modem  ", 0, "0800"));

    Service.AddEntry(Entry("Third"));
    std::string after = Dir.Read("ras/rasphone.pbk");
    EXPECT_EQ(after.substr(0, handEdited.size()), handEdited);
    EXPECT_EQ(Names(Service.Phonebook()).back(), "Third");
}

} // namespace
