#include "dialup/DialUp.h"

#include "base/Ansi.h"
#include "base/Exceptions.h"
#include "dialup/RasBinding.h"
#include "dialup/Seams.h"
#include "dialup/StringResources.h"
#include "platform/Library.h"
#include "platform/Seams.h"

#include "tests/support/PlatformSeamScope.h"
#include "tests/support/SeamScope.h"

#include <gtest/gtest.h>

#include <string>

namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

TEST(StringTableTest, HoldsTheSixLanguagesWith28TextsEach)
{
    for (int base = 1000; base <= 6000; base += 1000) {
        for (int index = 1; index <= 28; ++index)
            EXPECT_FALSE(LoadStr(base + index).isEmpty()) << base + index;
        EXPECT_TRUE(LoadStr(base).isEmpty()) << base;
        EXPECT_TRUE(LoadStr(base + 29).isEmpty()) << base + 29;
    }
    EXPECT_TRUE(LoadStr(0).isEmpty());
    EXPECT_TRUE(LoadStr(7001).isEmpty());
}

TEST(StringTableTest, KeepsTrailingBlankAndControlCharacter)
{
    EXPECT_EQ(LoadStr(5015), U("Autoryzowane, logowanie do sieci "));
    EXPECT_EQ(LoadStr(3022), U("Pøipojuje se na sí") + QChar(0x9D));
}

TEST(StringTableTest, SampleTextsOfEveryLanguage)
{
    const struct {
        int Ident;
        const char* Text;
    } samples[] = {
        {1001, "Anschluss wird geöffnet"},
        {1015, "Identifziert"},
        {1026, "Passwort ungültig"},
        {2010, "Authentication: change password"},
        {2024, "Retry Authentication"},
        {2028, "Disconnected"},
        {3002, "Port otevøen"},
        {3006, "Zaèínají se ovìøovat uživatelské informace"},
        {3028, "Rozpojeno"},
        {4004, "Componente conenctado"},
        {4006, "Iniciando autenticaçao"},
        {4026, "Senha inválida"},
        {5003, "£¹czenie z urz¹dzeniem"},
        {5012, "Autoryzacja: Prêdkoœæ po³¹czenia"},
        {5027, "Po³¹czony"},
        {6005, "Všetky zariadenia spojené"},
        {6021, "Spätné volánie hotové"},
        {6026, "Platnost hesla vypršala"},
    };
    for (const auto& sample : samples)
        EXPECT_EQ(LoadStr(sample.Ident), U(sample.Text)) << sample.Ident;
}

class StatusStringTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DialUpShared->RasBinding = {};
        Seams->LibrarySearchPath = {RASAPI32_DIR};
    }

    // What the stand-in platform itself says for an error code.
    static QString PlatformText(UINT error)
    {
        HMODULE library = LoadLibraryA("rasapi32.dll");
        auto getErrorString = reinterpret_cast<TRasGetErrorStringA>(GetProcAddress(library, "RasGetErrorStringA"));
        char text[101] = {};
        getErrorString(error, text, 100);
        FreeLibrary(library);
        return AnsiToString(text);
    }

    TPlatformSeamScope Seams;
    TSeamScope<TDialUpSeams> DialUpShared{DialUpSeams()};
    QObject Owner;
    TDialUp* DialUp = new TDialUp(&Owner);
};

TEST_F(StatusStringTest, NewComponentSpeaksEnglish)
{
    EXPECT_EQ(DialUp->Language(), ralgEnglish);
    EXPECT_EQ(DialUp->GetStatusString(19, 0), "Start authentication");
    EXPECT_EQ(DialUp->GetStatusString(5, 0), "Start authenticating");
}

TEST_F(StatusStringTest, GermanAsTheMainWindowSetsIt)
{
    DialUp->SetLanguage(ralgGerman);
    EXPECT_EQ(DialUp->Language(), ralgGerman);
    EXPECT_EQ(DialUp->GetStatusString(8192, 0), "Verbunden");
    EXPECT_EQ(DialUp->GetStatusString(3, 0), "Verbunden");
    EXPECT_EQ(DialUp->GetStatusString(8193, 0), "Getrennt");
}

TEST_F(StatusStringTest, EveryStateCodeFindsItsIndexInEveryLanguage)
{
    const struct {
        int State;
        int Index;
    } mapping[] = {
        {0, 1}, {1, 2}, {13, 14}, {21, 22}, {4096, 23}, {4097, 24}, {4098, 25}, {4099, 26}, {8192, 27}, {8193, 28}};
    const int noText[] = {-1, 22, 23, 24, 4095, 4100, 8191, 8194};

    for (TRasLanguage language : {ralgGerman, ralgEnglish, ralgCzech, ralgPortuguese, ralgPolish, ralgSlovak}) {
        DialUp->SetLanguage(language);
        const int base = (static_cast<int>(language) + 1) * 1000;
        for (const auto& m : mapping)
            EXPECT_EQ(DialUp->GetStatusString(m.State, 0), LoadStr(base + m.Index))
                << "language " << language << ", state " << m.State;
        for (int state : noText)
            EXPECT_TRUE(DialUp->GetStatusString(state, 0).isEmpty()) << "language " << language << ", state " << state;
    }
    // The last language set is the one that speaks.
    EXPECT_EQ(DialUp->GetStatusString(8193, 0), U("Rozpojené"));
}

TEST_F(StatusStringTest, ErrorCodeGivesThePlatformTextInAnyLanguage)
{
    const QString expected = PlatformText(678);
    ASSERT_FALSE(expected.isEmpty());
    for (TRasLanguage language : {ralgGerman, ralgEnglish, ralgPolish}) {
        DialUp->SetLanguage(language);
        EXPECT_EQ(DialUp->GetStatusString(8192, 678), expected);
    }
    // A code the platform has no text for gives nothing.
    EXPECT_EQ(DialUp->GetStatusString(8192, 59999), "");
}

TEST_F(StatusStringTest, ErrorTextIsAskedWithSize100AndConvertedFromAnsi)
{
    Seams->LibrarySearchPath = {std::string(FAKE_RAS_DIR) + "/bound"};
    EXPECT_EQ(DialUp->GetStatusString(0, 678), U("rasapi32 error 678 size 100 café"));
    // A refused hang-up's text may carry the service's reason after the code's text.
    EXPECT_EQ(DialUp->GetHangUpErrorText(678), U("rasapi32 error 678 size 512 café"));
}

TEST_F(StatusStringTest, OnlyErrorTextsNeedTheDialUpLibrary)
{
    Seams->LibrarySearchPath = {std::string(FAKE_RAS_DIR) + "/missing"};
    EXPECT_EQ(DialUp->GetStatusString(8192, 0), "Connected");
    try {
        DialUp->GetStatusString(8192, 678);
        ADD_FAILURE() << "nothing raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Error opening rasapi.dll");
    }
}

} // namespace
