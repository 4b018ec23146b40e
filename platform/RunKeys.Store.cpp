#include "platform/RunKeys.h"

#include "platform/Seams.h"

#include "base/AtomicFile.h"
#include "base/IniDocument.h"
#include "base/ReadFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

const char* const StoreFolder = "zeltix-registry";
const char* const StoreFile = "HKEY_LOCAL_MACHINE.ini";

// A value in the store reads like an exported one: hex(type):bytes, e.g. hex(1):41,00.
std::string EncodeValue(DWORD Type, std::string_view Data)
{
    std::string text = "hex(" + std::to_string(Type) + "):";
    char byte[4];
    for (size_t i = 0; i < Data.size(); ++i) {
        std::snprintf(byte, sizeof(byte), i ? ",%02x" : "%02x", static_cast<unsigned char>(Data[i]));
        text += byte;
    }
    return text;
}

bool DecodeValue(const std::string& text, DWORD& Type, std::string& Data)
{
    unsigned long type = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "hex(%lu):%n", &type, &consumed) != 1 || consumed == 0)
        return false;
    Type = static_cast<DWORD>(type);
    Data.clear();
    for (size_t i = static_cast<size_t>(consumed); i < text.size();) {
        unsigned int byte = 0;
        int used = 0;
        if (std::sscanf(text.c_str() + i, "%2x%n", &byte, &used) != 1)
            return false;
        Data.push_back(static_cast<char>(byte));
        i += static_cast<size_t>(used);
        if (i < text.size() && text[i] == ',')
            ++i;
    }
    return true;
}

// Names that the INI form could not hold back are refused.
bool StorableName(std::string_view Name)
{
    return !Name.empty() && Name.find_first_of("=\r\n") == std::string_view::npos && Name.front() != '[' &&
        Name.front() != ';' && Name.front() != ' ' && Name.back() != ' ';
}

// One key of the store: a section of the store file named after the key's path.
class TStoredKey : public TRegistryKey {
public:
    explicit TStoredKey(std::string Section)
        : FSection(std::move(Section))
    {
    }

    LONG QueryValue(std::string_view Name, DWORD& Type, std::string& Data) override
    {
        std::optional<std::string> text = Load().Value(FSection, Name);
        if (!text)
            return ERROR_FILE_NOT_FOUND;
        return DecodeValue(*text, Type, Data) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
    }

    std::vector<std::string> ValueNames() override { return Load().KeyNames(FSection); }

    bool Writable() override { return FolderWritable(Folder()); }

    LONG SetValue(std::string_view Name, DWORD Type, std::string_view Data) override
    {
        if (!StorableName(Name))
            return ERROR_INVALID_PARAMETER;
        TIniDocument document = Load();
        document.SetValue(FSection, Name, EncodeValue(Type, Data));
        return Save(document);
    }

    LONG DeleteValue(std::string_view Name) override
    {
        TIniDocument document = Load();
        if (!document.DeleteKey(FSection, Name))
            return ERROR_FILE_NOT_FOUND;
        return Save(document);
    }

private:
    static std::string Folder() { return RegistryConfigHome() + "/" + StoreFolder; }
    static std::string File() { return Folder() + "/" + StoreFile; }

    static TIniDocument Load()
    {
        std::string bytes;
        ReadWholeFile(File(), bytes);
        return TIniDocument::Parse(bytes);
    }

    static LONG Save(const TIniDocument& document)
    {
        std::error_code error;
        std::filesystem::create_directories(Folder(), error);
        return WriteFileAtomically(File(), document.Serialize()) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }

    std::string FSection;
};

} // namespace

std::string RegistryConfigHome()
{
    if (const std::string& chosen = PlatformSeams().RegistryConfigHome; !chosen.empty())
        return chosen;
    // The stand-in reads the desktop's own setting, as the desktop itself does.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config";
}

bool FolderWritable(const std::string& path)
{
    if (PlatformSeams().RegistryFoldersReadOnly)
        return false;
    std::error_code error;
    std::filesystem::path folder(path);
    while (!std::filesystem::exists(folder, error)) {
        if (!folder.has_parent_path() || folder.parent_path() == folder)
            return false;
        folder = folder.parent_path();
    }
    return std::filesystem::is_directory(folder, error) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::unique_ptr<TRegistryKey> OpenRunOnceKey(std::string_view Path)
{
    if (!SameRegistryName(Path, RunOnceKeyPath))
        return nullptr;
    return std::make_unique<TStoredKey>(RunOnceKeyPath);
}
