#include "base/Ansi.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Ansi, EveryByteSurvivesTheRoundTrip)
{
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    const QString text = AnsiToString(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(StringToAnsi(text), all);
}

TEST(Ansi, NamedCharacters)
{
    const struct {
        char16_t Unicode;
        unsigned char Byte;
    } cases[] = {
        {u'ÿ', 0xFF},
        {u'þ', 0xFE},
        {u'€', 0x80},
        {u'ä', 0xE4},
        {u'™', 0x99},
        {u'Œ', 0x8C},
        {u'A', 0x41},
        {0x0000, 0x00},
        {0x0081, 0x81},
        {0x008D, 0x8D},
        {0x008F, 0x8F},
        {0x0090, 0x90},
        {0x009D, 0x9D},
    };
    for (const auto& c : cases) {
        const std::string byte(1, static_cast<char>(c.Byte));
        EXPECT_EQ(AnsiToString(byte), QString(QChar(c.Unicode))) << int(c.Byte);
        EXPECT_EQ(StringToAnsi(QString(QChar(c.Unicode))), byte) << int(c.Byte);
    }
}

TEST(Ansi, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(StringToAnsi(QString::fromUtf8("Gebühr 日 €")), "Geb\xFChr ? \x80");
    EXPECT_EQ(StringToAnsi(QString::fromUtf8("a\U0001F600b")), "a?b") << "one mark per character";
    EXPECT_EQ(StringToAnsi(QString(QChar(0xD800)) + u'x'), "?x") << "lone surrogate";
    EXPECT_EQ(StringToAnsi(QString(QChar(0x0080))), "?") << "0x80 holds the euro sign";
    EXPECT_EQ(StringToAnsi(QString()), "");
    EXPECT_EQ(AnsiToString(""), QString());
}

TEST(Ansi, NamesThatMustBeKeptAsGivenAreRefusedInsteadOfMarked)
{
    EXPECT_EQ(TryStringToAnsi(QString::fromUtf8("Café [ISDN] €")), std::optional<std::string>("Caf\xE9 [ISDN] \x80"));
    EXPECT_EQ(TryStringToAnsi(QString(QChar(0x0081))), std::optional<std::string>("\x81"));
    EXPECT_EQ(TryStringToAnsi(QString::fromUtf8("Gebühr 日")), std::nullopt);
    EXPECT_EQ(TryStringToAnsi(QString::fromUtf8("a\U0001F600")), std::nullopt);
    EXPECT_EQ(TryStringToAnsi(QString(QChar(0xD800))), std::nullopt);
    EXPECT_EQ(TryStringToAnsi(QString()), std::optional<std::string>(""));
}

} // namespace
