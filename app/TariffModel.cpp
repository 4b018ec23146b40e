#include "app/TariffModel.h"

#include "app/StoredFiles.h"
#include "base/SysUtils.h"
#include "platform/IniFile.h"

namespace {

const QString DefaultTariff = QStringLiteral("0,00");

// Brackets cannot stand in a section name; they are kept as the bytes 0xFF and 0xFE, which
// are "ÿ" and "þ" in the ANSI code page.
QString TariffSection(QString entry)
{
    return entry.replace(QLatin1Char('['), QChar(0x00FF)).replace(QLatin1Char(']'), QChar(0x00FE));
}

} // namespace

TTariffModel::TTariffModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int TTariffModel::Find(const QString& name) const
{
    for (int i = 0; i < Count(); ++i)
        if (Entry(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void TTariffModel::SetTariffText(int row, const QString& text)
{
    FRows.at(static_cast<size_t>(row)).Tariff = text;
    Q_EMIT dataChanged(index(row, tcTariff), index(row, tcTariff));
}

long double TTariffModel::TariffCents(int row) const
{
    return MoneyCents(TariffText(row));
}

void TTariffModel::SetTicked(int row, bool ticked)
{
    FRows.at(static_cast<size_t>(row)).Ticked = ticked;
    Q_EMIT dataChanged(index(row, tcEntry), index(row, tcEntry), {Qt::CheckStateRole});
}

void TTariffModel::Clear()
{
    beginResetModel();
    FRows.clear();
    endResetModel();
}

int TTariffModel::AppendStored(const QString& entry, const QString& connsFile)
{
    TIniFile conns(connsFile);
    const QString section = TariffSection(entry);
    TRow row{entry, conns.ReadString(section, StoredFiles::TariffKey, DefaultTariff),
        conns.ReadBool(section, StoredFiles::CheckedKey, true)};
    beginInsertRows({}, Count(), Count());
    FRows.push_back(std::move(row));
    endInsertRows();
    return Count() - 1;
}

void TTariffModel::Save(const QString& connsFile) const
{
    TIniFile conns(connsFile);
    for (const TRow& row : FRows) {
        const QString section = TariffSection(row.Entry);
        conns.WriteString(section, StoredFiles::CheckedKey, row.Ticked ? QStringLiteral("1") : QStringLiteral("0"));
        conns.WriteString(section, StoredFiles::TariffKey, row.Tariff);
    }
}

int TTariffModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TTariffModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant TTariffModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    if (role == Qt::DisplayRole)
        return index.column() == tcEntry ? Entry(index.row()) : TariffText(index.row());
    if (role == Qt::CheckStateRole && index.column() == tcEntry)
        return Ticked(index.row()) ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool TTariffModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    // The tick is the one thing the list lets the user change in place.
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != tcEntry || index.row() >= Count())
        return false;
    SetTicked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags TTariffModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == tcEntry)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant TTariffModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (section == tcEntry)
        return QStringLiteral("Verbindungsname");
    if (section == tcTariff)
        return QStringLiteral("Cent / Min.");
    return {};
}
