#include "desktop/BURunOnStartup.h"

#include "base/Ansi.h"
#include "platform/Registry.h"

#include <optional>
#include <string>

namespace {

// One key of HKEY_LOCAL_MACHINE, opened with full access for one step and closed after it. A
// key that cannot be opened leaves no current key.
class TRunKey {
public:
    explicit TRunKey(const char* Path) { RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path, 0, KEY_ALL_ACCESS, FKey.Receive()); }

    bool ValueExists(const std::string& Name) const
    {
        DWORD Type = 0;
        DWORD Size = 0;
        return FKey.Key() &&
            RegQueryValueExA(FKey.Key(), Name.c_str(), nullptr, &Type, nullptr, &Size) == ERROR_SUCCESS;
    }

    void WriteString(const QString& Name, const QString& Data)
    {
        if (!FKey.Key() || Write(Name, Data) != ERROR_SUCCESS)
            throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(Name));
    }

    // Only a value that is there is deleted; what the delete answers is not examined.
    void DeleteValue(const QString& Name)
    {
        const std::string AnsiName = StringToAnsi(Name);
        if (ValueExists(AnsiName))
            RegDeleteValueA(FKey.Key(), AnsiName.c_str());
    }

private:
    // The data is written with its terminating zero. A path that the ANSI code page cannot hold
    // (a folder named in Cyrillic letters, say) goes through the Unicode call, so it is carried
    // as it is instead of with question marks.
    LONG Write(const QString& Name, const QString& Data)
    {
        const std::string AnsiName = StringToAnsi(Name);
        if (const std::optional<std::string> AnsiData = TryStringToAnsi(Data))
            return RegSetValueExA(FKey.Key(), AnsiName.c_str(), 0, REG_SZ,
                reinterpret_cast<const BYTE*>(AnsiData->c_str()), static_cast<DWORD>(AnsiData->size() + 1));
        const std::u16string WideName = Name.toStdU16String();
        const std::u16string WideData = Data.toStdU16String();
        return RegSetValueExW(FKey.Key(), WideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(WideData.c_str()),
            static_cast<DWORD>((WideData.size() + 1) * sizeof(char16_t)));
    }

    TRegKey FKey;
};

void SetValue(const char* Path, const QString& Name, const QString& Data, bool Present)
{
    TRunKey Key(Path);
    if (Present)
        Key.WriteString(Name, Data);
    else
        Key.DeleteValue(Name);
}

} // namespace

TBURunOnStartup::TBURunOnStartup(QObject* Owner)
    : QObject(Owner)
{
}

bool TBURunOnStartup::GetRun(const QString& Name)
{
    return TRunKey(RunKeyPath).ValueExists(StringToAnsi(Name));
}

bool TBURunOnStartup::GetRunOnce(const QString& Name)
{
    return TRunKey(RunOnceKeyPath).ValueExists(StringToAnsi(Name));
}

void TBURunOnStartup::SetRunOnStartup(const QString& Name, const QString& Data, bool RunOnce, bool Run)
{
    SetValue(RunOnceKeyPath, Name, Data, RunOnce);
    SetValue(RunKeyPath, Name, Data, Run);
}
