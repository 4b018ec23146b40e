#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The history list as connhistory.dat holds it: a component stream of the list view "ListView1"
// of the window "Form1", with its place, columns and rows.
struct THistoryColumn {
    QString Caption;
    int Width = 50;
};

// The list's place and columns.
struct THistoryLayout {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::vector<THistoryColumn> Columns;
};

// A row's texts as the file holds them, in the ANSI code page: the caption, then the first three
// sub-items (entry, duration, cost). A row with fewer has empty texts; further ones are not kept,
// as saving never writes them.
using THistoryRowTexts = std::array<std::string_view, 4>;

// Reads the file's bytes: the rows as views into `bytes`, and the stream's place and columns in
// `layout`. A stream that fails anywhere (EFilerError / EReadError with "Invalid stream format",
// "Stream read error" or "Invalid property value") leaves the layout as it was: nothing of a
// damaged file is taken over.
std::vector<THistoryRowTexts> ReadHistoryRows(std::string_view bytes, THistoryLayout& layout);
// The file's bytes for the layout and `count` rows, row i's texts given by `row(i)`.
std::string WriteHistoryRows(
    const THistoryLayout& layout, size_t count, const std::function<THistoryRowTexts(size_t)>& row);
