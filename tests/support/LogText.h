#pragma once

#include <QStringList>

#include <string>

// The connection log's text as Protokol.txt holds it, lines ended by CR LF in the ANSI code page,
// for tests and fuzzers that compare what the program wrote with a list of lines.

// Lines end with CR LF or LF; a break at the very end does not start another line.
QStringList SplitLogLines(const QString& text);
// The lines, each ended by CR LF, in the ANSI code page.
std::string LogFileText(const QStringList& lines);
