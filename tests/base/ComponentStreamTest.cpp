#include "base/ComponentStream.h"

#include "base/Exceptions.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace std::string_literals;

// "EReadError: Stream read error", or "" when nothing was thrown.
std::string FailureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EFilerError& e) {
        return e.ClassName() + ": "s + e.Message().toStdString();
    }
    return {};
}

const std::string ReadError = "EReadError: Stream read error";
const std::string BadValue = "EReadError: Invalid property value";
const std::string BadFormat = "EFilerError: Invalid stream format";

// A copy on the heap of exactly the data's size, so that the address sanitizer sees any read
// beyond its end.
struct TExactCopy {
    explicit TExactCopy(std::string_view data)
        : Bytes(new char[data.size()])
        , Size(data.size())
    {
        std::memcpy(Bytes.get(), data.data(), data.size());
    }
    std::string_view View() const { return {Bytes.get(), Size}; }
    std::unique_ptr<char[]> Bytes;
    std::size_t Size;
};

TEST(ComponentStream, IntegersTakeTheShortestForm)
{
    const struct {
        std::int32_t Value;
        std::string Bytes;
    } cases[] = {
        {0, "\x02\x00"s},
        {127, "\x02\x7F"s},
        {-128, "\x02\x80"s},
        {128, "\x03\x80\x00"s},
        {-129, "\x03\x7F\xFF"s},
        {32767, "\x03\xFF\x7F"s},
        {32768, "\x04\x00\x80\x00\x00"s},
        {-32769, "\x04\xFF\x7F\xFF\xFF"s},
        {INT32_MIN, "\x04\x00\x00\x00\x80"s},
    };
    for (const auto& c : cases) {
        std::string out;
        TStreamWriter(out).WriteInteger(c.Value);
        EXPECT_EQ(out, c.Bytes) << c.Value;
        TStreamReader reader(out);
        EXPECT_EQ(reader.ReadInteger(), c.Value);
        EXPECT_TRUE(reader.AtEnd());
    }
}

TEST(ComponentStream, StringsChooseTheirTypeByContent)
{
    const std::string a255(255, 'a'), a256(256, 'a');
    const struct {
        QString Text;
        std::string Bytes;
    } cases[] = {
        {QString(), "\x06\x00"s}, {QString::fromLatin1(a255), "\x06\xFF"s + a255},
        {QString::fromLatin1(a256), "\x0C\x00\x01\x00\x00"s + a256},
        {QString::fromUtf8("Grüße"),
            "\x14\x07\x00\x00\x00Gr\xC3\xBC\xC3\x9F"
            "e"s},
        {QString::fromUtf8("€"), "\x14\x03\x00\x00\x00\xE2\x82\xAC"s}, // in the code page, yet not ASCII
    };
    for (const auto& c : cases) {
        std::string out;
        TStreamWriter(out).WriteString(c.Text);
        EXPECT_EQ(out, c.Bytes) << c.Text.size();
        TStreamReader reader(out);
        EXPECT_EQ(reader.ReadString(), c.Text);
        EXPECT_TRUE(reader.AtEnd());
    }
    const std::string ansiBytes = "\x06\x03Gr\xFC\x0C\x01\x00\x00\x00\x80"s;
    TStreamReader ansi(ansiBytes);
    EXPECT_EQ(ansi.ReadString(), QString::fromUtf8("Grü")) << "short and long strings are ANSI";
    EXPECT_EQ(ansi.ReadString(), QString::fromUtf8("€"));
    // Other writers' wide strings: UTF-16LE at an odd offset, with a surrogate pair, and unpaired
    // surrogates as the replacement character.
    const TExactCopy wide("\x12\x06\x00\x00\x00"
                          "G\x00\xAC\x20\x3D\xD8\x00\xDE\x00\xDE\x3D\xD8"s);
    EXPECT_EQ(TStreamReader(wide.View()).ReadString(), QString::fromUtf8("G€\xF0\x9F\x98\x80\uFFFD\uFFFD"));
}

TEST(ComponentStream, NamesIdentifiersBooleansAndBinary)
{
    std::string out;
    TStreamWriter writer(out);
    writer.WriteSignature();
    writer.WriteStr("TListView");
    writer.WriteProperty("Align");
    writer.WriteIdent("alClient");
    writer.WriteBoolean(false);
    writer.WriteBoolean(true);
    writer.WriteBinary("\x01\x00\xFF"s);
    writer.WriteListBegin();
    writer.WriteListEnd();
    EXPECT_EQ(out,
        "TPF0\x09TListView\x05"
        "Align\x07\x08"
        "alClient\x08\x09\x0A\x03\x00\x00\x00\x01\x00\xFF\x01\x00"s);

    TStreamReader reader(out);
    reader.ReadSignature();
    EXPECT_EQ(reader.ReadStr(), "TListView");
    EXPECT_EQ(reader.ReadStr(), "Align");
    EXPECT_EQ(reader.NextValue(), TValueType::vaIdent);
    EXPECT_EQ(reader.ReadIdent(), "alClient");
    EXPECT_FALSE(reader.ReadBoolean());
    EXPECT_EQ(reader.ReadIdent(), "True") << "booleans read as identifiers too";
    EXPECT_EQ(reader.ReadBinary(), "\x01\x00\xFF"s);
    EXPECT_FALSE(reader.EndOfList());
    reader.ReadListBegin();
    EXPECT_TRUE(reader.EndOfList());
    reader.ReadListEnd();
    EXPECT_TRUE(reader.AtEnd());
}

TEST(ComponentStream, WriterRefusesNamesLongerThan255)
{
    std::string out;
    TStreamWriter writer(out);
    EXPECT_EQ(FailureOf([&] { writer.WriteStr(std::string(256, 'x')); }),
        "EFilerError: Short string longer than 255 characters");
    EXPECT_THROW(writer.WriteIdent(std::string(256, 'x')), EFilerError);
    EXPECT_EQ(out, "") << "nothing half written";
    writer.WriteStr(std::string(255, 'x'));
    EXPECT_EQ(out.size(), 256u);
}

// Two columns as the history list stores them: Caption, then Width unless it is 50.
std::string TwoColumns()
{
    std::string out;
    TStreamWriter writer(out);
    writer.WriteCollectionBegin();
    writer.WriteListBegin();
    writer.WriteProperty("Caption");
    writer.WriteString(QStringLiteral("Datum"));
    writer.WriteProperty("Width");
    writer.WriteInteger(100);
    writer.WriteListEnd();
    writer.WriteListBegin();
    writer.WriteProperty("Caption");
    writer.WriteString(QStringLiteral("Dauer"));
    writer.WriteListEnd();
    writer.WriteListEnd();
    return out;
}

TEST(ComponentStream, CollectionOfTwoItems)
{
    const std::string out = TwoColumns();
    EXPECT_EQ(out,
        "\x0E\x01\x07"
        "Caption\x06\x05"
        "Datum\x05Width\x02\x64\x00"
        "\x01\x07"
        "Caption\x06\x05"
        "Dauer\x00\x00"s);
    TStreamReader reader(out);
    reader.ReadCollectionBegin();
    QStringList captions;
    std::int32_t width = 50;
    while (!reader.EndOfList()) {
        reader.ReadListBegin();
        while (!reader.EndOfList()) {
            const std::string name = reader.ReadStr();
            if (name == "Caption")
                captions << reader.ReadString();
            else
                width = reader.ReadInteger();
        }
        reader.ReadListEnd();
    }
    reader.ReadListEnd();
    EXPECT_EQ(captions, QStringList({"Datum", "Dauer"}));
    EXPECT_EQ(width, 100);
    EXPECT_TRUE(reader.AtEnd());
}

TEST(ComponentStream, SkipValuePassesEveryKnownType)
{
    const std::string values = "\x02\x01"
                               "\x03\x01\x02"
                               "\x04\x01\x02\x03\x04"
                               "\x05"
                               "0123456789"
                               "\x06\x02hi"
                               "\x07\x02id"
                               "\x08"
                               "\x09"
                               "\x0A\x02\x00\x00\x00xy"
                               "\x0B\x01"
                               "a\x01"
                               "b\x00"
                               "\x0C\x01\x00\x00\x00z"
                               "\x0D"
                               "\x0F"
                               "0123"
                               "\x10"
                               "01234567"
                               "\x11"
                               "01234567"
                               "\x12\x02\x00\x00\x00"
                               "a\x00"
                               "b\x00"
                               "\x13"
                               "01234567"
                               "\x14\x01\x00\x00\x00u"
                               "\x01\x01\x02\x07\x00\x00"s; // a list holding a list holding 7
    const std::string stream = "\x01"s + values + "\x00"s + TwoColumns() + "\x02\x2A"s;
    TStreamReader reader(stream);
    reader.SkipValue();
    reader.SkipValue();
    EXPECT_EQ(reader.ReadInteger(), 42);
    EXPECT_TRUE(reader.AtEnd());

    const std::string properties = "\x04Left\x02\x02\x03Top\x02\x0F"s;
    TStreamReader property(properties);
    property.SkipProperty();
    EXPECT_EQ(property.ReadStr(), "Top");
}

TEST(ComponentStream, SignatureChecks)
{
    const struct {
        std::string Data;
        std::string Failure;
    } cases[] = {
        {"TPF0", ""},
        {"", ReadError},
        {"T", ReadError},
        {"TPF", ReadError},
        {"X", BadFormat},
        {"TPX", BadFormat},
        {"TPF1", BadFormat},
        {"tpf0", BadFormat},
    };
    for (const auto& c : cases) {
        const TExactCopy copy(c.Data);
        EXPECT_EQ(FailureOf([&] { TStreamReader(copy.View()).ReadSignature(); }), c.Failure) << c.Data;
    }
}

TEST(ComponentStream, ReadersRefuseOtherTypes)
{
    using TRead = std::function<void(TStreamReader&)>;
    const std::pair<std::string, TRead> cases[] = {
        {"\x06\x01"
         "1"s,
            [](TStreamReader& r) { r.ReadInteger(); }},
        {"\x0F"
         "01234567"s,
            [](TStreamReader& r) { r.ReadInteger(); }},
        {"\x02\x01"s, [](TStreamReader& r) { r.ReadString(); }},
        {"\x07\x01"
         "a"s,
            [](TStreamReader& r) { r.ReadString(); }},
        {"\x13"
         "01234567"s,
            [](TStreamReader& r) { r.ReadString(); }},
        {"\x15\x01\x00\x00\x00"
         "a\x00"s,
            [](TStreamReader& r) { r.ReadString(); }},
        {"\x06\x01"
         "a"s,
            [](TStreamReader& r) { r.ReadIdent(); }},
        {"\x02\x01"s, [](TStreamReader& r) { r.ReadBoolean(); }},
        {"\x0C\x00\x00\x00\x00"s, [](TStreamReader& r) { r.ReadBinary(); }},
        {"\x01\x00"s, [](TStreamReader& r) { r.ReadCollectionBegin(); }},
        {"\x0E\x00"s, [](TStreamReader& r) { r.ReadListBegin(); }},
        {"\x02\x00"s, [](TStreamReader& r) { r.ReadListEnd(); }},
        {"\x15\x01\x00\x00\x00"
         "a\x00"s,
            [](TStreamReader& r) { r.SkipValue(); }}, // sized differently by each writer
        {"\x16"
         "01234567"s,
            [](TStreamReader& r) { r.SkipValue(); }},
        {"\xFF"s, [](TStreamReader& r) { r.SkipValue(); }}, {"\x00"s, [](TStreamReader& r) { r.SkipValue(); }},
        {"\x0E\x02\x00"s, [](TStreamReader& r) { r.SkipValue(); }}, // an item must open a list
    };
    for (const auto& [data, read] : cases) {
        const TExactCopy copy(data);
        TStreamReader reader(copy.View());
        const TRead& readValue = read; // clang 14 lets no lambda capture a structured binding
        EXPECT_EQ(FailureOf([&] { readValue(reader); }), BadValue) << int(static_cast<unsigned char>(data[0]));
    }
}

TEST(ComponentStream, LittleEndianHelpersAndByteReader)
{
    std::string block;
    AppendInt32(block, -2);
    AppendInt32(block, 0x01020304);
    AppendInt16(block, -1);
    AppendInt16(block, 0x0102);
    AppendShortString(block, "abc");
    EXPECT_EQ(block,
        "\xFE\xFF\xFF\xFF\x04\x03\x02\x01\xFF\xFF\x02\x01\x03"
        "abc"s);
    const TExactCopy copy(block);
    TByteReader bytes(copy.View());
    EXPECT_EQ(bytes.ReadInt32(), -2);
    EXPECT_EQ(bytes.ReadInt32(), 0x01020304);
    EXPECT_EQ(bytes.ReadInt16(), -1);
    EXPECT_EQ(bytes.ReadInt16(), 0x0102);
    EXPECT_EQ(bytes.Remaining(), 4u);
    EXPECT_EQ(bytes.ReadShortString(), "abc");
    EXPECT_TRUE(bytes.AtEnd());
    EXPECT_EQ(FailureOf([&] { bytes.ReadByte(); }), ReadError);

    TByteReader shortData(copy.View().substr(0, 3));
    EXPECT_EQ(FailureOf([&] { shortData.ReadInt32(); }), ReadError);
    EXPECT_EQ(FailureOf([&] { shortData.ReadBytes(SIZE_MAX); }), ReadError);
    EXPECT_EQ(shortData.ReadInt16(), -2) << "a failed read consumes nothing";
}

// A history-like stream with every kind of value, and where each value's type byte lies.
struct TSample {
    std::string Data;
    std::vector<std::pair<std::size_t, std::string>> TypeBytes; // position, accepted type bytes
};

TSample Sample()
{
    TSample sample;
    TStreamWriter writer(sample.Data);
    const auto property = [&](std::string_view name, std::string accepted, const std::function<void()>& write) {
        writer.WriteProperty(name);
        sample.TypeBytes.emplace_back(sample.Data.size(), std::move(accepted));
        write();
    };
    const std::string integers = "\x02\x03\x04", strings = "\x06\x0C\x12\x14", idents = "\x07\x08\x09\x0D";
    writer.WriteSignature();
    writer.WriteStr("TListView");
    writer.WriteStr("ListView1");
    property("Left", integers, [&] { writer.WriteInteger(2); });
    property("Width", integers, [&] { writer.WriteInteger(420); });
    property("Tag", integers, [&] { writer.WriteInteger(-100000); });
    property("Align", idents, [&] { writer.WriteIdent("alClient"); });
    property("Columns", "\x0E", [&] { sample.Data += TwoColumns(); });
    property("ColumnClick", "\x08\x09", [&] { writer.WriteBoolean(false); });
    std::string rows;
    AppendInt32(rows, 12);
    AppendInt16(rows, -1);
    AppendShortString(rows, "08.12.2026");
    property("Items.Data", "\x0A", [&] { writer.WriteBinary(rows); });
    property("Hint", strings, [&] { writer.WriteString(QString::fromUtf8("Grüße")); });
    property("HelpKeyword", strings, [&] { writer.WriteString(QString(300, u'k')); });
    property("PopupMenu", idents, [&] { writer.WriteIdent("Form1.PopupMenu1"); });
    writer.WriteListEnd();
    writer.WriteListEnd();
    return sample;
}

void ReadGenerically(std::string_view data)
{
    TStreamReader reader(data);
    reader.ReadSignature();
    reader.ReadStr();
    reader.ReadStr();
    while (!reader.EndOfList())
        reader.SkipProperty();
    reader.ReadListEnd();
    reader.ReadListEnd();
}

// Reads each property with the reader of its type, as the history list does.
void ReadTyped(std::string_view data)
{
    TStreamReader reader(data);
    reader.ReadSignature();
    reader.ReadStr();
    reader.ReadStr();
    while (!reader.EndOfList()) {
        const std::string name = reader.ReadStr();
        if (name == "Align" || name == "PopupMenu")
            reader.ReadIdent();
        else if (name == "Columns") {
            reader.ReadCollectionBegin();
            while (!reader.EndOfList()) {
                reader.ReadListBegin();
                while (!reader.EndOfList())
                    reader.SkipProperty();
                reader.ReadListEnd();
            }
            reader.ReadListEnd();
        } else if (name == "ColumnClick")
            reader.ReadBoolean();
        else if (name == "Items.Data")
            reader.ReadBinary();
        else if (name == "Hint" || name == "HelpKeyword")
            reader.ReadString();
        else
            reader.ReadInteger();
    }
    reader.ReadListEnd();
    reader.ReadListEnd();
}

TEST(ComponentStreamHostile, EveryTruncationIsAReadError)
{
    const std::string data = Sample().Data;
    for (std::size_t size = 0; size < data.size(); ++size) {
        const TExactCopy copy(data.substr(0, size));
        EXPECT_EQ(FailureOf([&] { ReadGenerically(copy.View()); }), ReadError) << size;
        EXPECT_EQ(FailureOf([&] { ReadTyped(copy.View()); }), ReadError) << size;
    }
    EXPECT_EQ(FailureOf([&] { ReadTyped(data); }), "");
}

TEST(ComponentStreamHostile, FlippedTypeBytes)
{
    const TSample sample = Sample();
    for (const auto& [position, accepted] : sample.TypeBytes) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string data = sample.Data;
            data[position] = static_cast<char>(byte);
            const TExactCopy copy(data);
            const std::string failure = FailureOf([&] { ReadTyped(copy.View()); });
            if (accepted.find(static_cast<char>(byte)) == std::string::npos) {
                EXPECT_EQ(failure, BadValue) << position << " " << byte;
            } else if (!failure.empty()) {
                EXPECT_TRUE(failure == BadValue || failure == ReadError) << position << " " << byte;
            }
        }
    }
}

TEST(ComponentStreamHostile, AnyByteAnywhereFailsCleanly)
{
    const std::string original = Sample().Data;
    for (std::size_t position = 0; position < original.size(); ++position) {
        for (int byte = 0; byte < 256; ++byte) {
            std::string data = original;
            data[position] = static_cast<char>(byte);
            const TExactCopy copy(data);
            const std::string failure = FailureOf([&] { ReadGenerically(copy.View()); });
            EXPECT_TRUE(failure.empty() || failure == ReadError || failure == BadValue || failure == BadFormat)
                << failure << " at " << position << " " << byte;
        }
    }
}

TEST(ComponentStreamHostile, LengthsBeyondTheDataAreReadErrors)
{
    const std::string cases[] = {
        "\x0A\xFF\xFF\xFF\xFF"
        "ab"s,
        "\x0A\x00\x00\x00\x80"s,
        "\x0A\xFF\xFF\xFF\x7F"s,
        "\x0A\x03\x00\x00\x00"
        "ab"s,
        "\x0C\xFF\xFF\xFF\xFF"s,
        "\x0C\xFF\xFF\xFF\x7F"
        "abc"s,
        "\x14\xFE\xFF\xFF\xFF"s,
        "\x14\x05\x00\x00\x00"s,
        "\x06\x05"
        "ab"s,
        "\x07\xFF"s,
        "\x12\xFF\xFF\xFF\x7F"
        "ab"s,
        "\x12\x00\x00\x00\x40"s,
        "\x12\xFF\xFF\xFF\xFF"s,
        "\x12\x02\x00\x00\x00"
        "abc"s,
        "\x0B\x01"
        "a\x01"s,
        "\x05"
        "012345678"s,
        "\x0F"
        "012"s,
        "\x10"
        "0123456"s,
        "\x11"
        "0123456"s,
        "\x13"
        "0123456"s,
        "\x04\x01\x02\x03"s,
        "\x01\x02\x01"s,
        "\x0E\x01\x04"
        "Left"s,
        "\x0E\x01\x09"s,
    };
    for (const auto& data : cases) {
        const TExactCopy copy(data);
        TStreamReader reader(copy.View());
        EXPECT_EQ(FailureOf([&] { reader.SkipValue(); }), ReadError) << int(static_cast<unsigned char>(data[0]));
    }
    const TExactCopy binary(cases[0]), text(cases[4]);
    EXPECT_EQ(FailureOf([&] { TStreamReader(binary.View()).ReadBinary(); }), ReadError);
    EXPECT_EQ(FailureOf([&] { TStreamReader(text.View()).ReadString(); }), ReadError);
}

TEST(ComponentStreamHostile, DeepNestingDoesNotExhaustTheStack)
{
    for (const std::string& unit : {"\x01"s, "\x0E\x01\x01\x0E"s}) {
        std::string data;
        for (int i = 0; i < (1 << 20); ++i)
            data += unit;
        const TExactCopy copy(data);
        EXPECT_EQ(FailureOf([&] { TStreamReader(copy.View()).SkipValue(); }), ReadError);
    }
}

} // namespace
