#include "app/HistoryStream.h"

#include "base/Exceptions.h"
#include "base/FormatSettings.h"
#include "tests/support/HistoryList.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace std::string_literals;

std::string Le32(int32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
    return s;
}

std::string Short(const std::string& s)
{
    return std::string(1, static_cast<char>(s.size())) + s;
}

THistoryList StandardList()
{
    THistoryList list;
    list.Left = 2;
    list.Top = 15;
    list.Width = 427;
    list.Height = 380;
    list.Columns = {{"Datum", 100}, {"Verbindung", 150}, {"Dauer", 70}, {"Kosten (Cent)", 76}};
    return list;
}

// The stream up to and including the Columns collection of StandardList.
std::string StandardHead()
{
    std::string head = "TPF0" + Short("TListView") + Short("ListView1");
    head += Short("Left") + "\x02\x02" + Short("Top") + "\x02\x0F";
    head +=
        Short("Width") + "\x03" + std::string("\xAB\x01", 2) + Short("Height") + "\x03" + std::string("\x7C\x01", 2);
    head += Short("Align") + "\x07" + Short("alClient");
    head += Short("Columns") + "\x0E";
    head += "\x01" + Short("Caption") + "\x06" + Short("Datum") + Short("Width") + "\x02\x64" + std::string(1, '\0');
    head += "\x01" + Short("Caption") + "\x06" + Short("Verbindung") + Short("Width") + "\x03" +
        std::string("\x96\x00", 2) + std::string(1, '\0');
    head += "\x01" + Short("Caption") + "\x06" + Short("Dauer") + Short("Width") + "\x02\x46" + std::string(1, '\0');
    head += "\x01" + Short("Caption") + "\x06" + Short("Kosten (Cent)") + Short("Width") + "\x02\x4C" +
        std::string(1, '\0');
    head += std::string(1, '\0');
    head += Short("ColumnClick") + "\x08";
    return head;
}

std::string StandardTail()
{
    return Short("MultiSelect") + "\x09" + Short("PopupMenu") + "\x07" + Short("Form1.PopupMenu1") + Short("TabOrder") +
        "\x02" + std::string(1, '\0') + Short("ViewStyle") + "\x07" + Short("vsReport") + std::string(2, '\0');
}

TEST(HistoryStreamTest, AnEmptyListIsWrittenWithoutRows)
{
    EXPECT_EQ(WriteHistoryStream(StandardList()), StandardHead() + StandardTail());
    THistoryList read;
    read.Rows.push_back({"old", {"x", "y", "z"}});
    ReadHistoryStream(StandardHead() + StandardTail(), read);
    EXPECT_TRUE(read.Rows.empty()) << "a stream without rows leaves none";
    ASSERT_EQ(read.Columns.size(), 4u);
    EXPECT_EQ(read.Columns[1].Caption, "Verbindung");
    EXPECT_EQ(read.Columns[1].Width, 150);
    EXPECT_EQ(read.Width, 427);
}

TEST(HistoryStreamTest, OneRowIsWrittenByteForByte)
{
    THistoryList list = StandardList();
    list.Rows.push_back({"08.12.2026 14:03:22", {"Provider", "00:01:00", "9,00"}});
    std::string rows = Le32(0) + Le32(-1) + Le32(-1) + Le32(3) + Le32(0) + Short("08.12.2026 14:03:22") +
        Short("Provider") + Short("00:01:00") + Short("9,00") + std::string(6, '\xFF');
    // 8 + 21 + caption + the three sub-items with 3 bytes each.
    const int32_t size = 8 + 21 + 19 + (8 + 3) + (8 + 3) + (4 + 3);
    ASSERT_EQ(static_cast<size_t>(size), 8 + rows.size());
    std::string block = Le32(size) + Le32(1) + rows;
    std::string expected = StandardHead() + Short("Items.Data") + "\x0A" + Le32(static_cast<int32_t>(block.size())) +
        block + StandardTail();
    EXPECT_EQ(WriteHistoryStream(list), expected);

    THistoryList read;
    ReadHistoryStream(expected, read);
    ASSERT_EQ(read.Rows.size(), 1u);
    EXPECT_EQ(read.Rows[0].Caption, "08.12.2026 14:03:22");
    EXPECT_EQ(read.Rows[0].SubItems, (QStringList{"Provider", "00:01:00", "9,00"}));
}

TEST(HistoryStreamTest, LongAndForeignTextsTakeTheirForms)
{
    THistoryList list = StandardList();
    list.Columns[0] = {QString(300, 'D'), 50}; // a width of 50 is left out
    list.Columns[1].Caption = QString::fromUtf8("Verbindungsmöglichkeit");
    list.Rows.push_back({QString(300, 'x'), {QString::fromUtf8("Café [ISDN]"), "00:00:00", "0,00"}});
    std::string bytes = WriteHistoryStream(list);
    EXPECT_NE(bytes.find(Short("Caption") + "\x0C" + Le32(300) + std::string(300, 'D') + std::string(1, '\0')),
        std::string::npos)
        << "long caption as type 12, no width";
    EXPECT_NE(bytes.find(Short("Caption") + "\x14" + Le32(23) + "Verbindungsm\xC3\xB6glichkeit"), std::string::npos)
        << "non-ASCII caption as type 20 in UTF-8";
    EXPECT_NE(bytes.find("\xFF" + std::string(255, 'x') +
                  "\x0B"
                  "Caf\xE9 [ISDN]"),
        std::string::npos)
        << "row texts are ANSI short strings cut at 255";

    THistoryList read;
    ReadHistoryStream(bytes, read);
    EXPECT_EQ(read.Columns[0].Caption, QString(300, 'D'));
    EXPECT_EQ(read.Columns[0].Width, 50);
    EXPECT_EQ(read.Columns[1].Caption, QString::fromUtf8("Verbindungsmöglichkeit"));
    ASSERT_EQ(read.Rows.size(), 1u);
    EXPECT_EQ(read.Rows[0].Caption, QString(255, 'x'));
    EXPECT_EQ(read.Rows[0].SubItems[0], QString::fromUtf8("Café [ISDN]"));
}

QString FailureOf(const std::string& bytes, THistoryList& read)
{
    try {
        ReadHistoryStream(bytes, read);
    } catch (const EFilerError& e) {
        return e.Message();
    }
    return {};
}

TEST(HistoryStreamTest, DamagedFilesEndInTheirMessageAndChangeNothing)
{
    THistoryList list = StandardList();
    for (int i = 0; i < 3; ++i)
        list.Rows.push_back({QStringLiteral("0%1.12.2026 10:00:00").arg(i + 1), {"Provider", "00:10:00", "45,00"}});
    const std::string good = WriteHistoryStream(list);

    THistoryList read;
    EXPECT_EQ(FailureOf("TPF1" + good.substr(4), read), "Invalid stream format");
    EXPECT_EQ(FailureOf("", read), "Stream read error");
    for (size_t cut = 4; cut < good.size(); ++cut) {
        THistoryList partial;
        QString message = FailureOf(good.substr(0, cut), partial);
        ASSERT_EQ(message, "Stream read error") << "cut at " << cut;
        ASSERT_TRUE(partial.Rows.empty() && partial.Columns.empty()) << "cut at " << cut;
    }
    // A wrong kind of value where an integer belongs.
    std::string wrongKind = good;
    size_t left = wrongKind.find(Short("Left"));
    wrongKind[left + 5] = '\x06';
    EXPECT_EQ(FailureOf(wrongKind, read), "Invalid property value");

    // The rows block ends inside its third row: not even the first two rows are taken over.
    size_t data = good.find(Short("Items.Data"));
    std::string cutRows = good;
    const size_t blockStart = data + 11 + 1 + 4;
    const size_t thirdRow = good.find("03.12.2026", blockStart);
    cutRows.replace(blockStart, 4, Le32(static_cast<int32_t>(thirdRow - blockStart)));
    THistoryList twoRows;
    EXPECT_EQ(FailureOf(cutRows, twoRows), "Stream read error");
    EXPECT_EQ(twoRows.Rows.size(), 0u);

    // Every single flipped byte gives a clean outcome, never a crash.
    std::set<QString> outcomes;
    for (size_t i = 0; i < good.size(); ++i) {
        std::string flipped = good;
        flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
        THistoryList any;
        outcomes.insert(FailureOf(flipped, any));
    }
    for (const QString& outcome : outcomes)
        EXPECT_TRUE(outcome.isEmpty() || outcome == "Stream read error" || outcome == "Invalid stream format" ||
            outcome == "Invalid property value")
            << outcome.toStdString();
}

THistoryList ThreeRows()
{
    THistoryList list = StandardList();
    for (int i = 0; i < 3; ++i)
        list.Rows.push_back({QStringLiteral("0%1.12.2026 10:00:00").arg(i + 1), {"Provider", "00:10:00", "45,00"}});
    return list;
}

// Everything a load can change, for comparing a list before and after.
std::string Describe(const THistoryList& list)
{
    QStringList parts{QStringLiteral("%1,%2 %3x%4").arg(list.Left).arg(list.Top).arg(list.Width).arg(list.Height)};
    for (const THistoryColumn& column : list.Columns)
        parts << QStringLiteral("%1/%2").arg(column.Caption).arg(column.Width);
    for (const THistoryRow& row : list.Rows)
        parts << (QStringList{row.Caption} + row.SubItems).join('|');
    return parts.join("; ").toStdString();
}

TEST(HistoryStreamTest, DamageAnywhereLeavesTheListAsItWas)
{
    const std::string good = WriteHistoryStream(ThreeRows());
    const size_t block = good.find(Short("Items.Data")) + 11 + 1 + 4;
    const size_t firstSubItemCount = block + 8 + 12;
    const size_t thirdCaption = good.find(Short("Dauer")) - 1;
    ASSERT_EQ(good[thirdCaption], '\x06');
    const struct {
        const char* Damage;
        size_t Position;
        std::string Bytes;
        const char* Failure;
    } cases[] = {
        {"third caption of type 21", thirdCaption, "\x15", "Invalid property value"},
        {"third caption with more UTF-16 than the file", thirdCaption, "\x12\x05\xFF\xFF\x7F", "Stream read error"},
        {"negative row count", block + 4, Le32(-1), "Stream read error"},
        {"row count the block cannot hold", block + 4, Le32(1000), "Stream read error"},
        {"negative sub-item count", firstSubItemCount, Le32(-3), "Stream read error"},
        {"bytes after the end", good.size(), "\x00"s, "Invalid stream format"},
    };
    THistoryList before = StandardList();
    before.Columns[2].Width = 222;
    before.Rows.push_back({"30.11.2026 10:00:00", {"Provider", "00:01:00", "4,50"}});
    for (const auto& c : cases) {
        std::string damaged = good;
        damaged.replace(c.Position, std::min(c.Bytes.size(), good.size() - c.Position), c.Bytes);
        THistoryList list = before;
        EXPECT_EQ(FailureOf(damaged, list), c.Failure) << c.Damage;
        EXPECT_EQ(Describe(list), Describe(before)) << c.Damage;
    }
}

} // namespace
