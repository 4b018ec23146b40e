#pragma once

#include "base/FormatSettings.h"
#include "tests/support/FormatLocaleScope.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// Runs a test in one named locale's formats and puts the process's formats back afterwards,
// so results never depend on how the machine is set up.
class LocaleTest : public ::testing::Test {
protected:
    void Use(const std::string& name)
    {
        Formats = std::make_unique<TFormatLocaleScope>(name);
        ASSERT_TRUE(Formats->Ok());
    }

private:
    std::unique_ptr<TFormatLocaleScope> Formats;
};

class GermanTest : public LocaleTest {
protected:
    void SetUp() override { Use("de_DE.UTF-8"); }
};

class EnglishTest : public LocaleTest {
protected:
    void SetUp() override { Use("en_US.UTF-8"); }
};
