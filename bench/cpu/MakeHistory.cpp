// Writes a connhistory.dat of a given number of sessions into a folder, for measuring the
// program with a long history: make_history FOLDER ROWS

#include "app/HistoryStream.h"
#include "base/AtomicFile.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER ROWS\n", argv[0]);
        return 2;
    }
    const size_t rows = std::strtoul(argv[2], nullptr, 10);
    THistoryLayout layout;
    layout.Width = 431;
    layout.Height = 413;
    layout.Columns = {{"Datum", 100}, {"Verbindung", 150}, {"Dauer", 70}, {"Kosten (Cent)", 76}};
    // A session a day for as long as the rows last, each with its own time and cost.
    std::vector<std::array<std::string, 4>> texts(rows);
    for (size_t i = 0; i < rows; ++i) {
        char started[32], duration[16], cost[16];
        std::snprintf(started, sizeof started, "%02zu.%02zu.%04zu %02zu:%02zu:%02zu", 1 + i % 28, 1 + i / 28 % 12,
            2026 - i / 336 % 30, i % 24, i % 60, (i * 7) % 60);
        std::snprintf(duration, sizeof duration, "00:%02zu:%02zu", i % 60, (i * 13) % 60);
        std::snprintf(cost, sizeof cost, "%zu,%02zu", i % 500, (i * 37) % 100);
        texts[i] = {started, "Provider", duration, cost};
    }
    const std::string bytes = WriteHistoryRows(layout, rows, [&texts](size_t r) {
        return THistoryRowTexts{texts[r][0], texts[r][1], texts[r][2], texts[r][3]};
    });
    if (!WriteFileAtomically(std::string(argv[1]) + "/connhistory.dat", bytes)) {
        std::perror("connhistory.dat");
        return 1;
    }
    return 0;
}
