#include "dialup/StringResources.h"

#include "base/Exceptions.h"
#include "resources/Resources.h"

#include <QFile>
#include <QHash>
#include <QStringList>

namespace {

const char* const StringTablePath = ":/strings/StateTexts.txt";

// One line of the table: identifier, one blank, the text in double quotes with \" \\ and
// \uXXXX escapes. Returns false when the line does not have that form.
bool ParseLine(const QString& Line, int& Ident, QString& Text)
{
    const qsizetype Blank = Line.indexOf(' ');
    if (Blank <= 0)
        return false;
    bool Ok = false;
    Ident = Line.left(Blank).toInt(&Ok);
    if (!Ok || Blank + 1 >= Line.size() || Line[Blank + 1] != '"')
        return false;
    Text.clear();
    for (qsizetype i = Blank + 2; i < Line.size(); ++i) {
        const QChar C = Line[i];
        if (C == '"')
            return Line.mid(i + 1).trimmed().isEmpty();
        if (C != '\\') {
            Text += C;
            continue;
        }
        if (++i >= Line.size())
            return false;
        const QChar E = Line[i];
        if (E == '"' || E == '\\') {
            Text += E;
        } else if (E == 'u' && i + 4 < Line.size()) {
            const ushort Code = Line.mid(i + 1, 4).toUShort(&Ok, 16);
            if (!Ok)
                return false;
            Text += QChar(Code);
            i += 4;
        } else {
            return false;
        }
    }
    return false; // no closing quote
}

QHash<int, QString> ReadStringTable()
{
    InitZeltixResources();
    QFile File(StringTablePath);
    if (!File.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot read the string table %1").arg(StringTablePath));
    const QStringList Lines = QString::fromUtf8(File.readAll()).split('\n');
    QHash<int, QString> Table;
    for (qsizetype n = 0; n < Lines.size(); ++n) {
        QString Line = Lines[n];
        if (Line.endsWith('\r'))
            Line.chop(1);
        if (Line.trimmed().isEmpty() || Line.startsWith('#'))
            continue;
        int Ident = 0;
        QString Text;
        // A broken table is a build fault; saying where beats showing blank states.
        if (!ParseLine(Line, Ident, Text))
            throw Exception(QStringLiteral("Invalid string table line %1").arg(n + 1));
        Table.insert(Ident, Text);
    }
    return Table;
}

} // namespace

QString LoadStr(int Ident)
{
    static const QHash<int, QString> Table = ReadStringTable();
    return Table.value(Ident);
}
