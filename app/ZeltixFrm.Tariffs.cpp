// The tariff list: one row per phonebook entry with its price per minute and its counting tick,
// kept in conns.ini.

#include "app/ZeltixFrm.h"

#include "app/Dialogs.h"
#include "app/StoredFiles.h"
#include "app/TariffRows.h"
#include "base/Ansi.h"
#include "base/SysUtils.h"
#include "platform/IniFile.h"

#include <QTreeWidget>

namespace {

const QString DefaultTariff = QStringLiteral("0,00");

// Brackets cannot stand in a section name; they are kept as the bytes 0xFF and 0xFE, which
// are "ÿ" and "þ" in the ANSI code page.
QString TariffSection(QString entry)
{
    return entry.replace(QLatin1Char('['), QChar(0x00FF)).replace(QLatin1Char(']'), QChar(0x00FE));
}

QTreeWidgetItem* NewTariffRow(const QString& entry, const QString& tariff, bool ticked)
{
    auto* row = new QTreeWidgetItem(QStringList{entry, tariff});
    row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
    row->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
    return row;
}

} // namespace

QTreeWidgetItem* TForm1::StoredTariffRow(const QString& entry) const
{
    TIniFile conns(ProgramDir() + StoredFiles::Tariffs);
    const QString section = TariffSection(entry);
    const QString tariff = conns.ReadString(section, StoredFiles::TariffKey, DefaultTariff);
    const bool ticked = conns.ReadBool(section, StoredFiles::CheckedKey, true);
    return NewTariffRow(entry, tariff, ticked);
}

void TForm1::DialUp1EntryGet(QObject*, const char* EntryName)
{
    ListView2->addTopLevelItem(StoredTariffRow(AnsiToString(EntryName)));
}

void TForm1::ListView2DblClick()
{
    QTreeWidgetItem* row = ListView2->currentItem();
    if (!row || !row->isSelected())
        return;
    // The proposal is always zero. Cancelling leaves the tariff as it was: a Cancel button
    // must not price every later session at nothing.
    QString value = DefaultTariff;
    if (!InputQuery(
            QStringLiteral("Kosten pro Minute ändern"), QStringLiteral("Geben Sie den Betrag in Cent an:"), value))
        return;
    SetTariffText(*row, tcTariff, FormatFloat(QStringLiteral("0.00"), StrToFloatDef(value, 0)));
}

void TForm1::SaveTariffs()
{
    // A file that could not be read keeps the user's tariffs better than the defaults would.
    if (FTariffsUnreadable)
        return;
    TIniFile conns(ProgramDir() + StoredFiles::Tariffs);
    for (int i = 0; i < ListView2->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView2->topLevelItem(i);
        const QString section = TariffSection(TariffText(*row, tcEntry));
        conns.WriteString(section, StoredFiles::CheckedKey,
            row->checkState(0) == Qt::Checked ? QStringLiteral("1") : QStringLiteral("0"));
        conns.WriteString(section, StoredFiles::TariffKey, TariffText(*row, tcTariff));
    }
}

QTreeWidgetItem* TForm1::FindTariffRow(const QString& name) const
{
    for (int i = 0; i < ListView2->topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = ListView2->topLevelItem(i);
        if (TariffText(*row, tcEntry).compare(name, Qt::CaseInsensitive) == 0)
            return row;
    }
    return nullptr;
}

QTreeWidgetItem* TForm1::TariffRowFor(const QString& entry)
{
    if (QTreeWidgetItem* row = FindTariffRow(entry))
        return row;
    // An entry that was not in the phonebook at the start (added since, or listed late by its
    // backend) keeps the tariff and the tick stored for it: a blocked entry stays blocked.
    QTreeWidgetItem* row = StoredTariffRow(entry);
    ListView2->addTopLevelItem(row);
    return row;
}
