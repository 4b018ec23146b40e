#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

// HangUp's wait and the queued timers it must handle need an application object.
class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { FApp = std::make_unique<QCoreApplication>(FArgc, FArgv); }
    void TearDown() override { FApp.reset(); }

private:
    int FArgc = 1;
    char FName[12] = "test_dialup";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QCoreApplication> FApp;
};

[[maybe_unused]] ::testing::Environment* const QtEnvironment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

} // namespace
