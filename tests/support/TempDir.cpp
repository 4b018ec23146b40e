#include "tests/support/TempDir.h"

#include "base/ReadFile.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <stdlib.h>

TTempDir::TTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zeltix-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    FPath = pattern;
}

TTempDir::~TTempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

void TTempDir::Write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TTempDir::Read(const std::string& name) const
{
    std::string bytes;
    if (!ReadWholeFile(File(name), bytes))
        throw std::runtime_error("cannot read " + File(name));
    return bytes;
}

bool TTempDir::Exists(const std::string& name) const
{
    return std::filesystem::exists(File(name));
}
