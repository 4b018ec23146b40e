#include "reports/ReportGuard.h"

#include "base/Exceptions.h"
#include "tests/reports/ReportsTestSupport.h"
#include "tests/support/QtPrinters.h"

#include <QObject>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ReportGuardTest, WithoutTheProgramsGuardNoExceptionLeavesAHandler)
{
    SetReportGuard({});
    bool ran = false;
    EXPECT_NO_THROW(RunReportHandler(nullptr, [&ran] {
        ran = true;
        throw EConvertError(QStringLiteral("'x' is not a valid date"));
    }));
    EXPECT_TRUE(ran);
    EXPECT_NO_THROW(RunReportHandler(nullptr, [] { throw std::runtime_error("other"); }));
    EXPECT_NO_THROW(RunReportHandler(nullptr, [] { throw 42; }));
}

TEST(ReportGuardTest, TheInstalledGuardGetsTheSenderAndTheException)
{
    QObject sender;
    TRecordingGuard guard;
    RunReportHandler(&sender, [] { throw EInOutError(QStringLiteral("kaputt")); });
    EXPECT_EQ(guard.Messages, QStringList{QStringLiteral("kaputt")});
    EXPECT_EQ(guard.LastSender, &sender);
}

} // namespace
