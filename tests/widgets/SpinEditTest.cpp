#include "widgets/SpinEdit.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

namespace {

// What the spin edit reads from a typed text: the number at any size, and the value within
// 32 bits (MinValue, here 0, for anything else).
TEST(SpinEditTest, ReadsEveryFormOfAWholeNumberAtAnySize)
{
    const struct {
        const char* Text;
        std::optional<int64_t> Number;
        int32_t Value;
    } cases[] = {
        {"42", 42, 42},
        {"  -42", -42, -42},
        {"\t+7", 7, 7},
        {"007", 7, 7},
        {"$FF", 255, 255},
        {"0x1f", 31, 31},
        {"0X1F", 31, 31},
        {"-$10", -16, -16},
        {"$7FFFFFFF", INT32_MAX, INT32_MAX},
        {"-0x80000000", INT32_MIN, INT32_MIN},
        // Beyond 32 bits the value is MinValue, the number is still known.
        {"$80000000", 2147483648LL, 0},
        {"2147483648", 2147483648LL, 0},
        {"-2147483649", -2147483649LL, 0},
        {"9223372036854775807", INT64_MAX, 0},
        {"9223372036854775808", INT64_MAX, 0},
        {"-9223372036854775808", INT64_MIN, 0},
        {"99999999999999999999999", INT64_MAX, 0},
        {"-99999999999999999999999", INT64_MIN, 0},
        {"$FFFFFFFFFFFFFFFFFFFF", INT64_MAX, 0},
        // Not numbers at all.
        {"", std::nullopt, 0},
        {" ", std::nullopt, 0},
        {"-", std::nullopt, 0},
        {"$", std::nullopt, 0},
        {"0x", std::nullopt, 0},
        {"0xG", std::nullopt, 0},
        {"$-5", std::nullopt, 0},
        {"- 5", std::nullopt, 0},
        {"12 ", std::nullopt, 0},
        {"1e3", std::nullopt, 0},
        {"1,0", std::nullopt, 0},
        {"zehn", std::nullopt, 0},
    };
    TSpinEdit edit(nullptr);
    for (const auto& c : cases) {
        edit.SetText(QString::fromUtf8(c.Text));
        EXPECT_EQ(edit.TypedNumber(), c.Number) << c.Text;
        EXPECT_EQ(edit.Value(), c.Value) << c.Text;
    }

    edit.SetMinValue(5);
    edit.SetMaxValue(10);
    edit.SetText("$80000000");
    EXPECT_EQ(edit.Value(), 5) << "what does not fit reads as MinValue";
}

} // namespace
