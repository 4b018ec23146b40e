#pragma once

#include <QString>

#include <cstddef>

// The program's files in its own folder and the keys they hold, each name spelled once.
namespace StoredFiles {

// The options: [Main] AutoClear=0|1, Limit=<cents>.
inline const QString Settings = QStringLiteral("settings.ini");
inline const QString MainSection = QStringLiteral("Main");
inline const QString AutoClearKey = QStringLiteral("AutoClear");
inline const QString LimitKey = QStringLiteral("Limit");

// The tariffs: a section per phonebook entry with Checked=0|1 and Kosten=<cents per minute>.
inline const QString Tariffs = QStringLiteral("conns.ini");
inline const QString CheckedKey = QStringLiteral("Checked");
inline const QString TariffKey = QStringLiteral("Kosten");

// The history list as a component stream. A session takes about 70 bytes, so even a hundred
// sessions a day for thirty years stay under a tenth of the limit; a larger file is not read
// (a link to /dev/zero, a damaged or foreign file) and is kept aside.
inline const QString History = QStringLiteral("connhistory.dat");
constexpr std::size_t HistoryReadLimit = std::size_t{256} << 20;

// Failures of the program's handlers, a line each.
inline const QString ErrorLog = QStringLiteral("error.log");

} // namespace StoredFiles
