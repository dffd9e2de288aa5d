#include "browser/archivemodel.h"

#include "browser/storedrows.h"

#include "store/listing.h"
#include "store/schema.h"
#include "store/sendreport.h"
#include "store/sqlite.h"
#include "store/storeerror.h"

#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

using store::ArchiveKind;

// Rows per page of texts, pages kept, rows of order read for the first screen and then at
// each idle turn.
constexpr int pageRows = 64;
constexpr size_t pagesKept = 32;
constexpr qsizetype firstRows = 256;
constexpr qsizetype idleRows = 16384;

// The table's fields in the order of ArchiveModel::ContactField or MessageField.
QStringList fieldsOf(ArchiveKind kind) {
    if (kind == ArchiveKind::Contacts)
        return {QStringLiteral("cellulare"), QStringLiteral("Nome"), QStringLiteral("cognome"),
                QStringLiteral("email")};
    return {QStringLiteral("cellulare"), QStringLiteral("cognome"), QStringLiteral("Data"),
            QStringLiteral("Testo")};
}

QString rowIconPath(ArchiveKind kind) {
    switch (kind) {
    case ArchiveKind::Contacts:
        return QStringLiteral(":/icons/contatto.svg");
    case ArchiveKind::Deleted:
        return QStringLiteral(":/icons/cancellato.svg");
    case ArchiveKind::Sent:
        return QStringLiteral(":/icons/inviato.svg");
    case ArchiveKind::Saved:
        return QStringLiteral(":/icons/salvato.svg");
    case ArchiveKind::None:
        break;
    }
    return {};
}

bool isContacts(ArchiveKind kind) {
    return kind == ArchiveKind::Contacts;
}

bool isSent(ArchiveKind kind) {
    return kind == ArchiveKind::Sent;
}

const QStringList& noTexts() {
    static const QStringList empty(4, QStringLiteral(""));
    return empty;
}

// The fields of rows by key, read in key order (the rows lie near each other in the file)
// under one lock of the file: `rowsPerRead` keys to a statement, or, when the keys are most of
// their range (every contact ticked), the range in one pass.
class TickedFields {
public:
    TickedFields(const store::sqlite::Connection& connection, const QString& table,
                 const QStringList& fields)
        : m_connection(connection)
        , m_columns(static_cast<int>(fields.size())) {
        QString select = QStringLiteral("SELECT rowid");
        for (const QString& field : fields)
            select += QStringLiteral(", \"%1\"").arg(field);
        select += QStringLiteral(" FROM \"%1\" WHERE rowid ").arg(table);
        QString keys = QStringLiteral("IN (?1");
        for (int i = 2; i <= rowsPerRead; ++i)
            keys += QStringLiteral(",?") + QString::number(i);
        m_byKeys = store::sqlite::Statement(connection, (select + keys).toUtf8() + ')');
        m_byRange = store::sqlite::Statement(
            connection, (select + QStringLiteral("BETWEEN ?1 AND ?2")).toUtf8());
    }

    // The rows in the order of `keys`; a row gone since it was listed is left out.
    StoredRows read(const std::vector<qint64>& keys) {
        std::vector<std::pair<qint64, qsizetype>> sorted(keys.size()); // key, place in `keys`
        for (size_t i = 0; i < keys.size(); ++i)
            sorted[i] = {keys[i], static_cast<qsizetype>(i)};
        std::sort(sorted.begin(), sorted.end());
        StoredRows rows(m_columns);
        std::vector<qsizetype> order(keys.size(), -1); // row read, by place in `keys`
        const ReadLock lock(m_connection);
        const auto readFrom = [&](store::sqlite::Statement& statement, auto chunk) {
            while (statement.step()) {
                const qint64 key = statement.integer(0);
                const auto row =
                    std::lower_bound(chunk.begin(), chunk.end(), key,
                                     [](const auto& entry, qint64 k) { return entry.first < k; });
                if (row == chunk.end() || row->first != key)
                    continue;
                order[static_cast<size_t>(row->second)] = rows.beginRow();
                for (int c = 1; c <= m_columns; ++c)
                    rows.addField(statement.utf8(c));
            }
            statement.reset();
        };
        if (!sorted.empty() &&
            sorted.back().first - sorted.front().first < 2 * static_cast<qint64>(sorted.size())) {
            m_byRange.bind(1, sorted.front().first);
            m_byRange.bind(2, sorted.back().first);
            readFrom(m_byRange, std::span(sorted));
        } else {
            for (size_t from = 0; from < sorted.size(); from += rowsPerRead) {
                const auto chunk = std::span(sorted).subspan(
                    from, std::min<size_t>(rowsPerRead, sorted.size() - from));
                for (int slot = 0; slot < rowsPerRead; ++slot) {
                    if (static_cast<size_t>(slot) < chunk.size())
                        m_byKeys.bind(slot + 1, chunk[static_cast<size_t>(slot)].first);
                    else
                        m_byKeys.bindNull(slot + 1);
                }
                readFrom(m_byKeys, chunk);
            }
        }
        std::erase(order, -1);
        rows.setOrder(std::move(order));
        return rows;
    }

private:
    static constexpr int rowsPerRead = 256;

    // A deferred transaction: SQLite locks the file once for its statements, not for each.
    class ReadLock {
    public:
        explicit ReadLock(const store::sqlite::Connection& connection)
            : m_connection(connection)
            , m_open(!connection.inTransaction()) {
            if (m_open)
                connection.exec("BEGIN");
        }
        ~ReadLock() {
            try {
                if (m_open)
                    m_connection.exec("COMMIT"); // only read: nothing to lose
            } catch (...) {
            }
        }
        ReadLock(const ReadLock&) = delete;
        ReadLock& operator=(const ReadLock&) = delete;

    private:
        const store::sqlite::Connection& m_connection;
        bool m_open;
    };

    const store::sqlite::Connection& m_connection;
    int m_columns;
    store::sqlite::Statement m_byKeys;
    store::sqlite::Statement m_byRange;
};

} // namespace

ArchiveModel::ArchiveModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_idleReader(new QTimer(this)) {
    m_idleReader->setInterval(0);
    connect(m_idleReader, &QTimer::timeout, this, &ArchiveModel::readOrderWhileIdle);
}

ArchiveModel::~ArchiveModel() = default;

void ArchiveModel::clear() {
    beginResetModel();
    m_idleReader->stop();
    m_kind = store::ArchiveKind::None;
    m_rows = 0;
    m_summaries.reset();
    m_listing.reset();
    m_order = {};
    m_jumped.clear();
    m_pages.clear();
    m_recent.clear();
    m_ticked.clear();
    m_all = false;
    m_unticked.clear();
    m_allUpTo = 0;
    endResetModel();
}

void ArchiveModel::load(const QString& path, store::ArchiveKind kind, bool keepTicks) {
    // Read aside first: a failure leaves an empty list, never a half-replaced one.
    std::unique_ptr<store::Listing> listing;
    std::unique_ptr<store::sendreport::Summaries> summaries;
    std::vector<qint64> order;
    qint64 rows = 0;
    try {
        const QStringList fields = fieldsOf(kind);
        listing = std::make_unique<store::Listing>(
            path, store::archive::tableForKind(kind), fields,
            fields[isContacts(kind) ? position(ContactField::Cognome)
                                    : position(MessageField::Cognome)]);
        rows = listing->count();
        order.reserve(static_cast<size_t>(rows));
        listing->readOrder(order, firstRows);
        if (isSent(kind)) {
            try {
                summaries = std::make_unique<store::sendreport::Summaries>(listing->database());
            } catch (const store::StoreError&) { // the column stays empty
            }
        }
    } catch (...) {
        clear();
        throw;
    }
    const bool carry = keepTicks && kind == m_kind;
    beginResetModel();
    m_kind = kind;
    m_icon = QIcon(rowIconPath(kind));
    m_summaries.reset(); // before the connection it was made on
    m_listing = std::move(listing);
    m_summaries = std::move(summaries);
    m_order = std::move(order);
    m_rows = static_cast<int>(std::min<qint64>(rows, std::numeric_limits<int>::max()));
    m_jumped.clear();
    m_pages.clear();
    m_recent.clear();
    if (!carry) {
        m_ticked.clear();
        m_all = false;
        m_unticked.clear();
        m_allUpTo = 0;
    }
    endResetModel();
    if (m_listing->orderRead())
        orderComplete();
    else
        m_idleReader->start();
}

bool ArchiveModel::orderRead() const {
    return !m_listing || m_listing->orderRead();
}

void ArchiveModel::readOrderWhileIdle() {
    if (!m_listing || m_listing->orderRead()) {
        m_idleReader->stop();
        return;
    }
    try {
        readOrder(static_cast<qsizetype>(m_order.size()) + idleRows);
    } catch (const store::StoreError&) {
        m_idleReader->stop(); // read again when a row further on is asked for
    }
}

void ArchiveModel::readOrder(qsizetype rows) const {
    if (!m_listing || m_listing->orderRead())
        return;
    const bool toEnd = rows >= m_rows; // then on until the order says it has ended
    while ((static_cast<qsizetype>(m_order.size()) < rows || toEnd) &&
           m_listing->readOrder(
               m_order, std::max<qsizetype>(rows - static_cast<qsizetype>(m_order.size()), 1)))
        ;
    if (m_listing->orderRead())
        orderComplete();
}

// The table changed between the count and the last read of the order (another program
// writing): the list takes the rows the order has.
void ArchiveModel::orderComplete() const {
    m_idleReader->stop();
    if (static_cast<qsizetype>(m_order.size()) == m_rows)
        return;
    auto* self = const_cast<ArchiveModel*>(this);
    QTimer::singleShot(0, self, [self] {
        const int rows = static_cast<int>(self->m_order.size());
        if (!self->m_listing || !self->m_listing->orderRead() || rows == self->m_rows)
            return;
        if (rows < self->m_rows) {
            self->beginRemoveRows({}, rows, self->m_rows - 1);
            self->m_rows = rows;
            self->endRemoveRows();
        } else {
            self->beginInsertRows({}, self->m_rows, rows - 1);
            self->m_rows = rows;
            self->endInsertRows();
        }
    });
}

qint64 ArchiveModel::rowid(int row) const {
    if (row < 0 || row >= m_rows)
        return 0;
    if (static_cast<size_t>(row) < m_order.size())
        return m_order[static_cast<size_t>(row)];
    const std::span<const qint64> keys = pageKeys(row / pageRows);
    const size_t at = static_cast<size_t>(row % pageRows);
    return at < keys.size() ? keys[at] : 0;
}

// The keys of a page: from the order read so far; a page far beyond it, in a table with the
// order index, is stepped to at once instead of reading the order up to it.
std::span<const qint64> ArchiveModel::pageKeys(int number) const {
    const int first = number * pageRows;
    const int last = std::min(m_rows, first + pageRows);
    if (first >= last || !m_listing)
        return {};
    if (static_cast<size_t>(last) > m_order.size() && m_listing->canJump() &&
        static_cast<qsizetype>(first) >= static_cast<qsizetype>(m_order.size()) + idleRows) {
        auto page = m_jumped.constFind(number);
        if (page == m_jumped.cend()) {
            std::vector<qint64> keys;
            try {
                keys = m_listing->readWindow(first, last - first, m_rows);
            } catch (const store::StoreError&) {
            }
            if (!keys.empty()) {
                if (static_cast<size_t>(m_jumped.size()) >= pagesKept)
                    m_jumped.clear();
                page = m_jumped.insert(number, std::move(keys));
            }
        }
        if (page != m_jumped.cend())
            return *page;
    }
    try {
        readOrder(last);
    } catch (const store::StoreError&) {
        return {};
    }
    const size_t end = std::min<size_t>(m_order.size(), static_cast<size_t>(last));
    if (static_cast<size_t>(first) >= end)
        return {};
    return {m_order.data() + first, end - static_cast<size_t>(first)};
}

const ArchiveModel::Texts& ArchiveModel::texts(int row) const {
    if (row < 0 || row >= m_rows || !m_listing)
        return noTexts();
    const int number = row / pageRows;
    auto page = m_pages.find(number);
    if (page == m_pages.end()) {
        const std::span<const qint64> keys = pageKeys(number);
        if (keys.empty())
            return noTexts();
        QHash<qint64, Texts> found;
        try {
            found = m_listing->read(keys);
        } catch (const store::StoreError&) {
            return noTexts(); // shown empty, read again when painted again
        }
        std::vector<Texts> rows;
        rows.reserve(keys.size());
        for (qint64 key : keys) {
            rows.push_back(found.value(key, noTexts()));
            if (m_summaries && found.contains(key))
                rows.back().append(delivery(rows.back()));
        }
        if (m_recent.size() >= pagesKept) {
            m_pages.remove(m_recent.back());
            m_recent.pop_back();
        }
        page = m_pages.insert(number, std::move(rows));
        m_recent.push_front(number);
    } else if (m_recent.front() != number) {
        m_recent.remove(number);
        m_recent.push_front(number);
    }
    const size_t at = static_cast<size_t>(row - number * pageRows);
    return at < page->size() ? (*page)[at] : noTexts();
}

// The Consegna cell of a sent message with these texts.
QString ArchiveModel::delivery(const Texts& texts) const {
    try {
        return deliveryText(m_summaries->of(store::sendreport::messageKey(
            {.cognome = texts.value(position(MessageField::Cognome)),
             .cellulare = texts.value(position(MessageField::Cellulare)),
             .data = texts.value(position(MessageField::Data)),
             .testo = texts.value(position(MessageField::Testo))})));
    } catch (const store::StoreError&) {
        return {};
    }
}

QString ArchiveModel::deliveryText(const store::sendreport::Summary& summary) {
    if (summary.lines == 0 || !summary.keyed)
        return {};
    QStringList notYet;
    if (summary.failed > 0)
        notYet << (summary.failed == 1 ? QStringLiteral("1 non consegnato")
                                       : QStringLiteral("%1 non consegnati").arg(summary.failed));
    if (summary.waiting > 0)
        notYet << QStringLiteral("%1 in attesa").arg(summary.waiting);
    QString text = QStringLiteral("%1/%2").arg(summary.delivered).arg(summary.lines);
    if (!notYet.isEmpty())
        text += QStringLiteral(" (") + notYet.join(QStringLiteral(", ")) + u')';
    return text;
}

QString ArchiveModel::text(int row, int column) const {
    if (column < columnOf(Column::FirstField) || column >= columnCount())
        return {};
    return texts(row).value(column - columnOf(Column::FirstField));
}

Entry ArchiveModel::entryOf(const Texts& texts) const {
    Entry entry;
    entry.archive = m_kind;
    if (isContacts(m_kind)) {
        entry.number = texts.value(position(ContactField::Cellulare));
        entry.surname = texts.value(position(ContactField::Cognome));
        entry.detail = texts.value(position(ContactField::Email));
    } else {
        entry.number = texts.value(position(MessageField::Cellulare));
        entry.surname = texts.value(position(MessageField::Cognome));
        entry.date = texts.value(position(MessageField::Data));
        entry.detail = texts.value(position(MessageField::Testo));
    }
    return entry;
}

Entry ArchiveModel::entryAt(int row) const {
    return entryOf(texts(row));
}

bool ArchiveModel::isTicked(qint64 key) const {
    if (key == 0)
        return false;
    if (m_all && key <= m_allUpTo)
        return !m_unticked.contains(key);
    return m_ticked.contains(key); // without "all", or a row added since
}

bool ArchiveModel::isChecked(int row) const {
    return isTicked(rowid(row));
}

void ArchiveModel::setChecked(int row, bool checked) {
    const qint64 key = rowid(row);
    if (key == 0 || isTicked(key) == checked)
        return;
    if (m_all && key <= m_allUpTo) {
        if (checked)
            m_unticked.remove(key);
        else
            m_unticked.insert(key);
    } else if (checked) {
        m_ticked.insert(key);
    } else {
        m_ticked.remove(key);
    }
    const QModelIndex i = index(row, columnOf(Column::Check));
    emit dataChanged(i, i, {Qt::CheckStateRole});
    emit checkToggled(row, checked);
}

void ArchiveModel::setAllChecked(bool checked) {
    m_ticked.clear();
    m_unticked.clear();
    m_all = checked && m_listing;
    m_allUpTo = 0;
    if (m_all) {
        try {
            m_allUpTo = m_listing->lastRowid();
        } catch (const store::StoreError&) { // what the list holds
            readOrder(m_rows);
            for (qint64 key : m_order)
                m_allUpTo = std::max(m_allUpTo, key);
        }
    }
    if (m_rows > 0)
        emit dataChanged(index(0, columnOf(Column::Check)),
                         index(m_rows - 1, columnOf(Column::Check)), {Qt::CheckStateRole});
}

bool ArchiveModel::allChecked() const {
    if (!m_all || !m_unticked.isEmpty() || !m_listing)
        return false;
    try {
        return m_listing->lastRowid() <= m_allUpTo;
    } catch (const store::StoreError&) {
        return false;
    }
}

qint64 ArchiveModel::allCheckedUpTo() const {
    return m_all && m_unticked.isEmpty() && m_ticked.isEmpty() ? m_allUpTo : 0;
}

QList<int> ArchiveModel::checkedRows() const {
    QList<int> rows;
    if (!m_all && m_ticked.isEmpty())
        return rows;
    readOrder(m_rows);
    for (size_t i = 0; i < m_order.size() && static_cast<int>(i) < m_rows; ++i)
        if (isTicked(m_order[i]))
            rows.append(static_cast<int>(i));
    return rows;
}

int ArchiveModel::checkedCount() const {
    if (!m_all && m_ticked.isEmpty())
        return 0;
    readOrder(m_rows);
    int count = 0;
    for (size_t i = 0; i < m_order.size() && static_cast<int>(i) < m_rows; ++i)
        count += isTicked(m_order[i]) ? 1 : 0;
    return count;
}

void ArchiveModel::readTicked(qsizetype batch,
                              const std::function<void(const QList<QStringList>&)>& take) const {
    readTickedAsStored(batch, [&take](const StoredRows& stored) {
        QList<QStringList> rows;
        rows.reserve(stored.size());
        for (qsizetype i = 0; i < stored.size(); ++i)
            rows.append(stored.texts(i));
        take(rows);
    });
}

void ArchiveModel::readTickedAsStored(qsizetype batch,
                                      const std::function<void(const StoredRows&)>& take) const {
    if ((!m_all && m_ticked.isEmpty()) || !m_listing)
        return;
    readOrder(m_rows);
    TickedFields reader(*m_listing->database().connection(), store::archive::tableForKind(m_kind),
                        fieldsOf(m_kind));
    std::vector<qint64> keys;
    keys.reserve(static_cast<size_t>(std::max<qsizetype>(1, std::min<qsizetype>(batch, m_rows))));
    auto flush = [&] {
        const StoredRows rows = reader.read(keys);
        keys.clear();
        if (!rows.isEmpty())
            take(rows);
    };
    for (size_t i = 0; i < m_order.size() && static_cast<int>(i) < m_rows; ++i) {
        if (!isTicked(m_order[i]))
            continue;
        keys.push_back(m_order[i]);
        if (static_cast<qsizetype>(keys.size()) >= batch)
            flush();
    }
    if (!keys.empty())
        flush();
}

int ArchiveModel::columnWidthTwips(store::ArchiveKind kind, int column) {
    if (column == columnOf(Column::Check))
        return 600;
    if (column == columnOf(MessageField::Testo) && !isContacts(kind))
        return 3700;
    if (column == columnOf(Column::Delivery))
        return 2800;
    return 1700;
}

int ArchiveModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int ArchiveModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid() || m_kind == store::ArchiveKind::None)
        return 0;
    const int last = isSent(m_kind) ? columnOf(Column::Delivery) : columnOf(Column::LastField);
    return last + 1;
}

QVariant ArchiveModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    if (index.column() == columnOf(Column::Check)) {
        if (role == Qt::CheckStateRole)
            return isChecked(row) ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::DecorationRole)
            return m_icon;
        return {};
    }
    if (role == Qt::DisplayRole) {
        QString value = text(row, index.column());
        value.replace(QLatin1String("\r\n"), QLatin1String(" "))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        return value;
    }
    if (role == Qt::ToolTipRole && index.column() == columnOf(Column::LastField))
        return text(row, index.column());
    return {};
}

bool ArchiveModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != columnOf(Column::Check) || !index.isValid())
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

QVariant ArchiveModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    static const char* const contactHeaders[] = {"", "Cellulare", "Nome", "Cognome", "Email"};
    static const char* const messageHeaders[] = {"",     "Cellulare", "Cognome",
                                                 "Data", "Testo",     "Consegna"};
    return QString::fromLatin1(isContacts(m_kind) ? contactHeaders[section]
                                                  : messageHeaders[section]);
}

Qt::ItemFlags ArchiveModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == columnOf(Column::Check))
        f |= Qt::ItemIsUserCheckable;
    return f;
}
