#pragma once

#include "browser/entry.h"

#include <QAbstractTableModel>
#include <QIcon>

#include <array>
#include <string>
#include <vector>

namespace store {
class Recordset;
}

// The rows of one archive table as the browser lists them: a check box and the archive's
// icon in column 0, four text columns, ordered by surname (Italian order, empty first).
// Texts are kept as UTF-8 in one block, so a million rows stay compact.
class ArchiveModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { CheckColumn = 0, FirstTextColumn = 1, ColumnCount = 5 };

    explicit ArchiveModel(QObject* parent = nullptr);

    // No rows and no columns.
    void clear();
    // Reads every row of `rs` (a table of kind 'r', 's', 'i' or 'c') and sorts by surname.
    // Every row comes unticked, unless `keepTicks` (the same archive read again): then the
    // rows ticked before stay ticked, found by their texts, or an edited one by its key (a
    // contact's number; a message's number and date). If reading fails the list is left
    // empty and the failure goes on.
    void load(store::Recordset& rs, QChar kind, bool keepTicks = false);

    QChar kind() const { return m_kind; }
    int rowFor(const QModelIndex& index) const { return index.isValid() ? index.row() : -1; }
    // The text of a cell as stored (column 1..4); empty for a null field.
    QString text(int row, int column) const;
    // The row's texts as an entry of this archive (its book is left empty).
    Entry entryAt(int row) const;

    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    void setAllChecked(bool checked);
    QList<int> checkedRows() const;

    // Column widths in twips.
    static int columnWidthTwips(QChar kind, int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void checkToggled(int row, bool checked);

private:
    struct Cell {
        quint32 offset;
        quint32 length;
    };
    using Row = std::array<Cell, 4>;

    QByteArrayView cell(int row, int column) const;
    QByteArray entry(int row) const; // the four texts
    QByteArray key(int row) const;
    // The ticks of `next`, a new reading of this archive, as this list had them.
    std::vector<quint8> carriedTicks(const ArchiveModel& next) const;
    void sortBySurname(int surnameColumn);

    QChar m_kind;
    std::string m_text;            // all cell texts, UTF-8, back to back
    std::vector<Row> m_rows;       // in stored order
    std::vector<quint32> m_order;  // display row -> stored row
    std::vector<quint8> m_checked; // by display row
    QIcon m_icon;
};
