#pragma once

#include "browser/entry.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QSet>

#include <functional>
#include <list>
#include <memory>
#include <span>
#include <vector>

namespace store {
class Listing;
namespace sendreport {
struct Summary;
class Summaries;
} // namespace sendreport
} // namespace store
class QTimer;
class StoredRows;

// The rows of one archive table as the browser lists them: a check box and the archive's
// icon in column 0, four text columns, ordered by surname (without regard to case, empty
// first, rows of one surname newest first). The order comes from the file's surname index a
// slice at a time (the first screen at once, the rest while the program is idle, or at once
// when a row further on is asked for), and the texts of a few pages around the rows shown are
// kept. Ticks are kept by row key, "all" as a flag with its exceptions. Sent messages have a
// last column, "Consegna": how many of the message's SMS reached the phone, looked up in its
// send report with the texts of their page.
class ArchiveModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The four fields of a row, in the order they are read, kept (a row's texts, the columns of
    // StoredRows) and listed: of a contact, of a message.
    enum class ContactField { Cellulare, Nome, Cognome, Email };
    enum class MessageField { Cellulare, Cognome, Data, Testo };
    static constexpr int position(ContactField field) { return static_cast<int>(field); }
    static constexpr int position(MessageField field) { return static_cast<int>(field); }
    // The columns: the check box with the row's icon, one per field in the fields' order, and
    // for sent messages the delivery.
    enum class Column { Check, FirstField, LastField = FirstField + 3, Delivery };
    static constexpr int columnOf(Column column) { return static_cast<int>(column); }
    static constexpr int columnOf(MessageField field) {
        return columnOf(Column::FirstField) + position(field);
    }

    explicit ArchiveModel(QObject* parent = nullptr);
    ~ArchiveModel() override;

    // No rows and no columns.
    void clear();
    // Lists the archive `kind` of the address book at `path`.
    // Every row comes unticked, unless `keepTicks` (the same archive read again): then the
    // rows ticked before stay ticked, and under "all" the rows added since come unticked.
    // If reading fails the list is left empty and the failure goes on.
    void load(const QString& path, store::ArchiveKind kind, bool keepTicks = false);

    store::ArchiveKind kind() const { return m_kind; }
    // True once the whole order has been read (the list no longer reads while idle).
    bool orderRead() const;
    int rowFor(const QModelIndex& index) const { return index.isValid() ? index.row() : -1; }
    // The text of a cell past the check box as stored; empty for a null field or a row gone.
    QString text(int row, int column) const;
    // The row's texts as an entry of this archive (its book is left empty).
    Entry entryAt(int row) const;

    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    void setAllChecked(bool checked);
    // True while "all" holds for every row listed: no exception, no row added since.
    bool allChecked() const;
    // Under "all" with no exception either way: the highest key it covers; 0 otherwise.
    qint64 allCheckedUpTo() const;
    // The ticked rows in list order (reads the whole order first).
    QList<int> checkedRows() const;
    int checkedCount() const;
    // The texts of the ticked rows (their fields) in list order, `batch` rows at a time, to
    // `take`; the texts of one batch only are held at once.
    void readTicked(qsizetype batch,
                    const std::function<void(const QList<QStringList>&)>& take) const;
    // The same fields as the file stores them, for writing them to a file.
    void readTickedAsStored(qsizetype batch,
                            const std::function<void(const StoredRows&)>& take) const;
    // A row's texts as an entry of this archive (its book is left empty).
    Entry entryOf(const QStringList& texts) const;

    // "3/3", "2/3 (1 non consegnato)": the SMS delivered of the report's, and those that
    // certainly did not arrive; empty when no SMS of the report has a gateway's key.
    static QString deliveryText(const store::sendreport::Summary& summary);

    // Column widths in twips.
    static int columnWidthTwips(store::ArchiveKind kind, int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void checkToggled(int row, bool checked);

private:
    using Texts = QStringList;
    // The row's key; 0 when the order cannot be read that far.
    qint64 rowid(int row) const;
    // Reads the order up to `rows` rows, or to its end.
    void readOrder(qsizetype rows) const;
    void readOrderWhileIdle();
    void orderComplete() const;
    const Texts& texts(int row) const;
    std::span<const qint64> pageKeys(int number) const;
    QString delivery(const Texts& texts) const;
    bool isTicked(qint64 rowid) const;

    store::ArchiveKind m_kind = store::ArchiveKind::None;
    QIcon m_icon;
    int m_rows = 0;
    std::unique_ptr<store::Listing> m_listing;
    std::unique_ptr<store::sendreport::Summaries> m_summaries; // sent messages only
    mutable std::vector<qint64> m_order;                       // list row -> rowid, read so far
    mutable QHash<int, std::vector<qint64>> m_jumped; // pages far beyond it, by page number
    mutable QHash<int, std::vector<Texts>> m_pages;   // a few pages of texts, by page number
    mutable std::list<int> m_recent;                  // the pages kept, last used first
    QTimer* m_idleReader;

    QSet<qint64> m_ticked; // without "all"
    bool m_all = false;
    QSet<qint64> m_unticked; // under "all"
    qint64 m_allUpTo = 0;    // "all" covers the rows up to this key
};
