#include "tests/support/RasLibrary.h"

#include <cstdlib>
#include <dlfcn.h>
#include <stdexcept>

namespace {

TZeltixRasSetTimeSource TimeSourceSeam(void* module)
{
    return reinterpret_cast<TZeltixRasSetTimeSource>(::dlsym(module, "ZeltixRasSetTimeSource"));
}

} // namespace

std::string RasLibraryPath()
{
    return std::string(ZELTIX_BINARY_DIR) + "/librasapi32.so";
}

void* LoadRasLibrary(long long (*now)())
{
    const std::string path = RasLibraryPath();
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module)
        throw std::runtime_error("cannot load " + path);
    TZeltixRasSetTimeSource setTimeSource = TimeSourceSeam(module);
    if (!setTimeSource)
        throw std::runtime_error("librasapi32.so has no time source seam");
    setTimeSource(now);
    return module;
}

void UnloadRasLibrary(void* module)
{
    TimeSourceSeam(module)(nullptr);
    ::dlclose(module);
}

void TRasLibraryTest::SetUpTestSuite()
{
    Library = ::dlopen(RasLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(Library, nullptr) << ::dlerror();
}

void TRasLibraryTest::TearDownTestSuite()
{
    ::dlclose(Library);
}

void TRasLibraryTest::SetUp()
{
    ::setenv("ZELTIX_RAS_DIR", Folder.Path().c_str(), 1);
    Now = T0;
    ASSERT_NE(Symbol<TZeltixRasSetTimeSource>("ZeltixRasSetTimeSource"), nullptr);
    Symbol<TZeltixRasSetTimeSource>("ZeltixRasSetTimeSource")(&SuiteClock);
}

void TRasLibraryTest::TearDown()
{
    if (auto setTimeSource = Symbol<TZeltixRasSetTimeSource>("ZeltixRasSetTimeSource"))
        setTimeSource(nullptr);
    ::unsetenv("ZELTIX_RAS_DIR");
}

std::vector<RASCONNA> TRasLibraryTest::Connections()
{
    std::vector<RASCONNA> records(8);
    records[0].dwSize = sizeof(RASCONNA);
    DWORD bytes = sizeof(RASCONNA) * 8, count = 0;
    EXPECT_EQ(Symbol<TRasEnumConnectionsA>("RasEnumConnectionsA")(records.data(), &bytes, &count), 0u);
    records.resize(count);
    return records;
}

void* TRasLibraryTest::LibrarySymbol(const char* name)
{
    return Library ? ::dlsym(Library, name) : nullptr;
}
