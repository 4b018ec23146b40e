#include "base/ExceptionRoute.h"

#include "base/Exceptions.h"
#include "tests/support/SeamScope.h"

#include <QObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

TEST(ExceptionRouteTest, WithoutAHandlerNoExceptionLeavesAGuardedHandler)
{
    TExceptionHandlerScope none{TExceptionHandler{}};
    bool ran = false;
    EXPECT_NO_THROW(RunGuarded(nullptr, [&ran] {
        ran = true;
        throw EConvertError(QStringLiteral("'x' is not a valid date"));
    }));
    EXPECT_TRUE(ran);
    EXPECT_NO_THROW(RunGuarded(nullptr, [] { throw std::runtime_error("other"); }));
    EXPECT_NO_THROW(RunGuarded(nullptr, [] { throw 42; }));
}

// What the handler is given, whatever was thrown.
TEST(ExceptionRouteTest, TheHandlerGetsTheSenderAndEveryExceptionAsOneOfTheProgram)
{
    struct TCase {
        std::function<void()> Throw;
        QString Message;
        QString ClassName;
    };
    const TCase cases[] = {
        {[] { throw EInOutError(QStringLiteral("kaputt")); }, "kaputt", "EInOutError"},
        {[] { throw std::runtime_error("Grenze überschritten"); }, "Grenze überschritten", "Exception"},
        {[] { throw 42; }, "Unknown exception", "Exception"},
    };
    QObject sender;
    for (const TCase& c : cases) {
        QStringList seen;
        QObject* seenSender = nullptr;
        TExceptionHandlerScope scope([&](QObject* s, const Exception& e) {
            seen << e.Message() << QString::fromLatin1(e.ClassName());
            seenSender = s;
        });
        RunGuarded(&sender, c.Throw);
        EXPECT_EQ(seen, (QStringList{c.Message, c.ClassName})) << c.Message.toStdString();
        EXPECT_EQ(seenSender, &sender);
    }
}

TEST(ExceptionRouteTest, AFailingHandlerEndsTheRouteAndTheScopePutsTheHandlerBack)
{
    int outer = 0;
    TExceptionHandlerScope first([&outer](QObject*, const Exception&) { ++outer; });
    {
        TExceptionHandlerScope failing([](QObject*, const Exception&) { throw std::runtime_error("error.log"); });
        EXPECT_NO_THROW(RunGuarded(nullptr, [] { throw Exception(QStringLiteral("x")); }));
    }
    RunGuarded(nullptr, [] { throw Exception(QStringLiteral("y")); });
    EXPECT_EQ(outer, 1);
}

} // namespace
