#pragma once

#include "app/HistoryStream.h"

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

// The history list as texts, for tests and fuzzers that build a connhistory.dat or check what
// the program wrote; the program itself reads and writes the rows as bytes (ReadHistoryRows).
struct THistoryRow {
    QString Caption;      // start time stamp
    QStringList SubItems; // entry, duration, cost
};

struct THistoryList : THistoryLayout {
    std::vector<THistoryRow> Rows;
};

// The file's bytes for the list.
std::string WriteHistoryStream(const THistoryList& list);

// Reads the file's bytes into the list. The stream's columns replace the list's columns and its
// rows, with every sub-item they hold, replace the list's rows. A stream that fails anywhere
// (EFilerError / EReadError with "Invalid stream format", "Stream read error" or "Invalid
// property value") leaves the list as it was: nothing of a damaged file is taken over.
void ReadHistoryStream(std::string_view bytes, THistoryList& list);
