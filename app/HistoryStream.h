#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

// The history list as connhistory.dat holds it: a component stream of the list view "ListView1"
// of the window "Form1", with its place, columns and rows.
struct THistoryColumn {
    QString Caption;
    int Width = 50;
};

struct THistoryRow {
    QString Caption;     // start time stamp
    QStringList SubItems; // entry, duration, cost
};

struct THistoryList {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::vector<THistoryColumn> Columns;
    std::vector<THistoryRow> Rows;
};

// The file's bytes for the list.
std::string WriteHistoryStream(const THistoryList& list);

// Reads the file's bytes into the list. The stream's columns replace the list's columns and its
// rows replace the list's rows. A stream that fails anywhere (EFilerError / EReadError with
// "Invalid stream format", "Stream read error" or "Invalid property value") leaves the list as
// it was: nothing of a damaged file is taken over.
void ReadHistoryStream(std::string_view bytes, THistoryList& list);
