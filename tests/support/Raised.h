#pragma once

#include <string>
#include <type_traits>
#include <utility>

// The message of the exception of type E that call raises, or "(nothing raised)" when it raises
// none; an exception of another type passes through and fails the test. For comparing failures
// in one line, table rows included:
//     EXPECT_EQ(MessageOf<EConvertError>([] { StrToDate("31.02.2026"); }), "'31.02.2026' is not a valid date");
template <class E, class F>
auto MessageOf(F&& call) -> std::decay_t<decltype(std::declval<const E&>().Message())>
{
    try {
        std::forward<F>(call)();
    } catch (const E& e) {
        return e.Message();
    }
    return "(nothing raised)";
}
