#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <vector>

// The tariff list: one row per phonebook entry with its price in cents per minute and its
// counting tick, kept in conns.ini. It is the one home of the rows; the tariff list view only
// shows them. The price is text, as the list shows it and conns.ini stores it, and is turned
// into cents only where it is charged: text that is no number charges nothing.
class TTariffModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum TColumn { tcEntry, tcTariff };

    explicit TTariffModel(QObject* parent = nullptr);

    int Count() const { return static_cast<int>(FRows.size()); }
    // The first row whose entry name equals the name, letter case aside; -1 when none does.
    int Find(const QString& name) const;

    const QString& Entry(int row) const { return FRows.at(static_cast<size_t>(row)).Entry; }
    const QString& TariffText(int row) const { return FRows.at(static_cast<size_t>(row)).Tariff; }
    void SetTariffText(int row, const QString& text);
    long double TariffCents(int row) const;
    // Ticked: connections over the entry are counted; unticked: they are refused.
    bool Ticked(int row) const { return FRows.at(static_cast<size_t>(row)).Ticked; }
    void SetTicked(int row, bool ticked);

    void Clear();
    // Appends the entry with the tariff and tick conns.ini holds for it ("0,00" and ticked when
    // it holds none); returns its row.
    int AppendStored(const QString& entry, const QString& connsFile);
    // Writes every row's tick and tariff to conns.ini, first row first; sections of entries no
    // longer listed stay as they are.
    void Save(const QString& connsFile) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct TRow {
        QString Entry;
        QString Tariff;
        bool Ticked = true;
    };
    std::vector<TRow> FRows;
};
