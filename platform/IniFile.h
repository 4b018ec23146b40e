#pragma once

#include "base/Exceptions.h"

#include <QString>

#include <cstdint>

ZELTIX_DECLARE_EXCEPTION(EIniFileException, Exception);

// An INI file read and written key by key through the profile functions. Section names, keys
// and values travel in the ANSI code page. Writes that fail raise EIniFileException
// "Unable to write to <file>".
class TIniFile {
public:
    explicit TIniFile(QString fileName);

    const QString& FileName() const { return FFileName; }

    QString ReadString(const QString& section, const QString& ident, const QString& def) const;
    // The value as a decimal (or "$"/"0x" hexadecimal) integer; the default when the key is
    // missing or its value is not a number.
    int32_t ReadInteger(const QString& section, const QString& ident, int32_t def) const;
    // ReadInteger with the default 1 or 0; any non-zero value is true.
    bool ReadBool(const QString& section, const QString& ident, bool def) const;

    void WriteString(const QString& section, const QString& ident, const QString& value);
    void WriteInteger(const QString& section, const QString& ident, int32_t value);
    // Written as "1" or "0".
    void WriteBool(const QString& section, const QString& ident, bool value);

private:
    QString FFileName;
};
