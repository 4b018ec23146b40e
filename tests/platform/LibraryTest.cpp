#include "platform/Library.h"
#include "platform/ProgramDir.h"
#include "platform/Seams.h"
#include "tests/support/PlatformSeamScope.h"

#include <gtest/gtest.h>

namespace {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { Seams->LibrarySearchPath = {"/nonexistent-zeltix", PROBE_LIBRARY_DIR}; }

    TPlatformSeamScope Seams;
};

TEST_F(LibraryTest, WindowsNameIsFoundAsSharedObjectAlongTheSearchPath)
{
    HMODULE module = LoadLibraryA("ZeltixProbe.dll");
    ASSERT_NE(module, nullptr);
    auto probe = reinterpret_cast<int (*)()>(GetProcAddress(module, "ProbeValue"));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe(), 42);
    EXPECT_EQ(GetProcAddress(module, "probevalue"), nullptr) << "symbol names are case-sensitive";
    EXPECT_EQ(GetProcAddress(module, "ProbeValueA"), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST_F(LibraryTest, MissingLibraryAndBadArgumentsGiveNull)
{
    EXPECT_EQ(LoadLibraryA("rnaph.dll"), nullptr);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
    EXPECT_EQ(GetProcAddress(nullptr, "ProbeValue"), nullptr);
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST_F(LibraryTest, NormalSearchPathIsProgramDirThenInstalledFolder)
{
    Seams->LibrarySearchPath = {};
    Seams->ProgramDir = "/opt/zeltix-test";
    std::vector<std::string> path = LibrarySearchPath();
    ASSERT_EQ(path.size(), 2u);
    EXPECT_EQ(path[0], "/opt/zeltix-test/");
    EXPECT_NE(path[1].find("zeltix"), std::string::npos);
}

TEST(ProgramDirTest, EndsWithExactlyOneSeparator)
{
    TPlatformSeamScope Seams;
    Seams->ProgramDir = {};
    QString real = ProgramDir();
    EXPECT_TRUE(real.endsWith('/'));
    EXPECT_FALSE(real.endsWith("//"));
    EXPECT_TRUE(ExeName().startsWith(real));

    Seams->ProgramDir = "/data/zeltix";
    EXPECT_EQ(ProgramDir(), "/data/zeltix/");
    Seams->ProgramDir = "/data/zeltix//";
    EXPECT_EQ(ProgramDir(), "/data/zeltix/");
}

} // namespace
