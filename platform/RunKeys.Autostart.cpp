#include "platform/RunKeys.h"

#include "base/Ansi.h"
#include "base/AtomicFile.h"
#include "base/ReadFile.h"

#include <QString>

#include <filesystem>
#include <optional>
#include <system_error>

namespace {

const char* const Suffix = ".desktop";

// Characters that make the desktop quote an argument of Exec.
const std::string_view Reserved = " \t\n\"'\\><~|&;$*?#()`";

std::string Folder()
{
    return RegistryConfigHome() + "/autostart";
}

// The .desktop file that holds the value, found without regard to case as value names are.
std::optional<std::filesystem::path> FindEntry(std::string_view Name)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(Folder(), error)) {
        const std::string file = entry.path().filename().string();
        if (file.size() > std::string_view(Suffix).size() && file.ends_with(Suffix) &&
            SameRegistryName(std::string_view(file).substr(0, file.size() - 8), Name))
            return entry.path();
    }
    return std::nullopt;
}

// What the desktop reads of an entry's main group: its command, with the string escapes of the
// desktop's files undone, and whether it starts at all.
struct TAutostartEntry {
    std::string Exec;
    bool Starts = true;
};

std::string Unescape(std::string_view raw)
{
    std::string value;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            const char next = raw[++i];
            value += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
        } else {
            value += raw[i];
        }
    }
    return value;
}

std::optional<TAutostartEntry> ReadEntry(const std::filesystem::path& path)
{
    std::string bytes;
    if (!ReadWholeFile(path.string(), bytes))
        return std::nullopt;
    TAutostartEntry entry;
    bool inEntry = false;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string_view line(bytes.data() + start, end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        start = end + 1;
        if (line.starts_with('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos)
            continue;
        std::string_view key = line.substr(0, equals);
        while (key.ends_with(' '))
            key.remove_suffix(1);
        std::string_view value = line.substr(equals + 1);
        while (value.starts_with(' '))
            value.remove_prefix(1);
        // An entry the user switched off in the desktop's settings is not run.
        if (key == "Exec")
            entry.Exec = Unescape(value);
        else if (key == "Hidden" && value == "true")
            entry.Starts = false;
        else if (key == "X-GNOME-Autostart-enabled" && value == "false")
            entry.Starts = false;
    }
    return entry;
}

std::string EscapeString(std::string_view text)
{
    std::string escaped;
    for (char c : text) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    return escaped;
}

class TAutostartKey : public TRegistryKey {
public:
    LONG QueryValue(std::string_view Name, DWORD& Type, std::string& Data) override
    {
        std::optional<std::filesystem::path> path = FindEntry(Name);
        if (!path)
            return ERROR_FILE_NOT_FOUND;
        // An entry the desktop does not start is no value of the Run key.
        std::optional<TAutostartEntry> entry = ReadEntry(*path);
        if (!entry || !entry->Starts)
            return ERROR_FILE_NOT_FOUND;
        Type = REG_SZ;
        Data = StringToAnsi(QString::fromUtf8(CommandLineFromExec(entry->Exec)));
        Data.push_back('\0');
        return ERROR_SUCCESS;
    }

    std::vector<std::string> ValueNames() override
    {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(Folder(), error)) {
            const std::string file = entry.path().filename().string();
            if (file.size() <= 8 || !file.ends_with(Suffix))
                continue;
            const std::optional<TAutostartEntry> read = ReadEntry(entry.path());
            if (read && read->Starts)
                names.push_back(StringToAnsi(QString::fromUtf8(file.substr(0, file.size() - 8))));
        }
        return names;
    }

    bool Writable() override { return FolderWritable(Folder()); }

    // The desktop runs command lines only, so only string values can be kept.
    LONG SetValue(std::string_view Name, DWORD Type, std::string_view Data) override
    {
        return SetTextValue(Name, Type, AnsiToString(Data.substr(0, Data.find('\0'))));
    }

    // The entry is a UTF-8 file: a command line in any script is kept as it is.
    LONG SetTextValue(std::string_view Name, DWORD Type, const QString& Text) override
    {
        if (Name.empty() || Name.find('/') != std::string_view::npos || (Type != REG_SZ && Type != REG_EXPAND_SZ))
            return ERROR_INVALID_PARAMETER;
        const std::string name = AnsiToString(Name).toStdString();
        std::string text = "[Desktop Entry]\n"
                           "Type=Application\n"
                           "Name=" +
            EscapeString(name) +
            "\n"
            "Exec=" +
            EscapeString(ExecFromCommandLine(Text.toStdString())) +
            "\n"
            "Icon=zeltix\n"
            "Terminal=false\n"
            "X-GNOME-Autostart-enabled=true\n";
        std::error_code error;
        std::filesystem::create_directories(Folder(), error);
        const std::optional<std::filesystem::path> existing = FindEntry(Name);
        const std::string path = existing ? existing->string() : Folder() + "/" + name + Suffix;
        return WriteFileAtomically(path, text) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }

    LONG DeleteValue(std::string_view Name) override
    {
        std::optional<std::filesystem::path> path = FindEntry(Name);
        if (!path)
            return ERROR_FILE_NOT_FOUND;
        std::error_code error;
        return std::filesystem::remove(*path, error) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }
};

} // namespace

std::string ExecFromCommandLine(std::string_view commandLine)
{
    std::string exec;
    if (commandLine.starts_with('"') || commandLine.find_first_of(Reserved) == std::string_view::npos) {
        exec = commandLine;
    } else {
        exec = "\"";
        for (char c : commandLine) {
            if (c == '"' || c == '`' || c == '$' || c == '\\')
                exec += '\\';
            exec += c;
        }
        exec += '"';
    }
    std::string doubled;
    for (char c : exec)
        doubled += c == '%' ? std::string("%%") : std::string(1, c);
    return doubled;
}

std::string CommandLineFromExec(std::string_view exec)
{
    std::string text;
    for (size_t i = 0; i < exec.size(); ++i) {
        text += exec[i];
        if (exec[i] == '%' && i + 1 < exec.size() && exec[i + 1] == '%')
            ++i;
    }
    // One quoted argument is the program path alone.
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return text;
    std::string path;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == '\\' && i + 2 < text.size())
            path += text[++i];
        else if (text[i] == '"')
            return text;
        else
            path += text[i];
    }
    return path;
}

std::unique_ptr<TRegistryKey> OpenRunKey(std::string_view Path)
{
    if (!SameRegistryName(Path, RunKeyPath))
        return nullptr;
    return std::make_unique<TAutostartKey>();
}
