#pragma once

#include "base/FormatSettings.h"

#include <gtest/gtest.h>

#include <string>

// Runs a test in one named locale's formats and puts the process's formats back afterwards,
// so results never depend on how the machine is set up.
class LocaleTest : public ::testing::Test {
protected:
    void Use(const std::string& name)
    {
        ASSERT_TRUE(UseLocaleForFormats(name))
            << name << " is not installed: localedef -i " << name.substr(0, 5) << " -f UTF-8 " << name;
    }
    void TearDown() override { UseLocaleForFormats(""); }
};

class GermanTest : public LocaleTest {
protected:
    void SetUp() override { Use("de_DE.UTF-8"); }
};

class EnglishTest : public LocaleTest {
protected:
    void SetUp() override { Use("en_US.UTF-8"); }
};
