// The tariff list: one row per phonebook entry with its price per minute and its counting tick,
// kept in conns.ini. Its rows live in the tariff model; the list shows them.

#include "app/ZeltixFrm.h"

#include "app/Dialogs.h"
#include "app/StoredFiles.h"
#include "app/TariffModel.h"
#include "base/Ansi.h"
#include "base/SysUtils.h"

#include <QItemSelectionModel>
#include <QTreeView>

void TForm1::DialUp1EntryGet(QObject*, const char* EntryName)
{
    Tariffs->AppendStored(AnsiToString(EntryName), ProgramDir() + StoredFiles::Tariffs);
}

void TForm1::ListView2DblClick()
{
    const QModelIndex current = ListView2->currentIndex();
    if (!current.isValid() || !ListView2->selectionModel()->isSelected(current))
        return;
    const int row = current.row();
    // The proposal is always zero. Cancelling leaves the tariff as it was: a Cancel button
    // must not price every later session at nothing.
    QString value = QStringLiteral("0,00");
    if (!InputQuery(
            QStringLiteral("Kosten pro Minute ändern"), QStringLiteral("Geben Sie den Betrag in Cent an:"), value))
        return;
    Tariffs->SetTariffText(row, FormatFloat(QStringLiteral("0.00"), StrToFloatDef(value, 0)));
}

void TForm1::SaveTariffs()
{
    // A file that could not be read keeps the user's tariffs better than the defaults would.
    if (FTariffsUnreadable)
        return;
    Tariffs->Save(ProgramDir() + StoredFiles::Tariffs);
}

int TForm1::FindTariffRow(const QString& name) const
{
    return Tariffs->Find(name);
}

int TForm1::TariffRowFor(const QString& entry)
{
    if (const int row = FindTariffRow(entry); row >= 0)
        return row;
    // An entry that was not in the phonebook at the start (added since, or listed late by its
    // backend) keeps the tariff and the tick stored for it: a blocked entry stays blocked.
    return Tariffs->AppendStored(entry, ProgramDir() + StoredFiles::Tariffs);
}
