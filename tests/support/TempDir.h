#pragma once

#include <string>

// A folder of its own for one test, removed with everything in it when the test ends.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    // The folder's path, without a trailing separator.
    const std::string& Path() const { return FPath; }
    std::string File(const std::string& name) const { return FPath + "/" + name; }

    void Write(const std::string& name, const std::string& bytes) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;

private:
    std::string FPath;
};
