#include "platform/IniFile.h"

#include "base/Ansi.h"
#include "base/SysUtils.h"
#include "platform/Profile.h"

#include <QFile>

#include <vector>

TIniFile::TIniFile(QString fileName)
    : FFileName(std::move(fileName))
{
}

QString TIniFile::ReadString(const QString& section, const QString& ident, const QString& def) const
{
    std::vector<char> buffer(2048);
    DWORD n =
        GetPrivateProfileStringA(StringToAnsi(section).c_str(), StringToAnsi(ident).c_str(), StringToAnsi(def).c_str(),
            buffer.data(), static_cast<DWORD>(buffer.size()), QFile::encodeName(FFileName).constData());
    return AnsiToString(std::string_view(buffer.data(), n));
}

int32_t TIniFile::ReadInteger(const QString& section, const QString& ident, int32_t def) const
{
    QString text = ReadString(section, ident, QString());
    if (text.size() > 2 && text[0] == QLatin1Char('0') && (text[1] == QLatin1Char('x') || text[1] == QLatin1Char('X')))
        text = QLatin1Char('$') + text.mid(2);
    return StrToIntDef(text, def);
}

bool TIniFile::ReadBool(const QString& section, const QString& ident, bool def) const
{
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& ident, const QString& value)
{
    if (!WritePrivateProfileStringA(StringToAnsi(section).c_str(), StringToAnsi(ident).c_str(),
            StringToAnsi(value).c_str(), QFile::encodeName(FFileName).constData()))
        throw EIniFileException(QStringLiteral("Unable to write to %1").arg(FFileName));
}

void TIniFile::WriteInteger(const QString& section, const QString& ident, int32_t value)
{
    WriteString(section, ident, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& ident, bool value)
{
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}
