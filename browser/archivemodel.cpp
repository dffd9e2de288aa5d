#include "browser/archivemodel.h"

#include "store/database.h"
#include "store/jettext.h"

#include <QHash>

#include <algorithm>
#include <cstring>

namespace {

const char* const contactFields[4] = {"cellulare", "Nome", "cognome", "email"};
const char* const messageFields[4] = {"cellulare", "cognome", "Data", "Testo"};

QString rowIconPath(QChar kind) {
    switch (kind.unicode()) {
    case 'r':
        return QStringLiteral(":/icons/contatto.svg");
    case 'c':
        return QStringLiteral(":/icons/cancellato.svg");
    case 'i':
        return QStringLiteral(":/icons/inviato.svg");
    case 's':
        return QStringLiteral(":/icons/salvato.svg");
    default:
        return {};
    }
}

bool isContacts(QChar kind) {
    return kind == QLatin1Char('r');
}

} // namespace

ArchiveModel::ArchiveModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void ArchiveModel::clear() {
    beginResetModel();
    m_kind = QChar();
    m_text.clear();
    m_text.shrink_to_fit();
    m_rows = {};
    m_order = {};
    m_checked = {};
    endResetModel();
}

void ArchiveModel::load(store::Recordset& rs, QChar kind, bool keepTicks) {
    // Read aside first: a failure half-way leaves an empty list, never a half-replaced one.
    ArchiveModel next;
    try {
        next.m_kind = kind;
        const char* const* names = isContacts(kind) ? contactFields : messageFields;
        int columns[4];
        for (int i = 0; i < 4; ++i)
            columns[i] = rs.fieldIndex(QString::fromLatin1(names[i]));
        while (!rs.isEof()) {
            Row row;
            for (int i = 0; i < 4; ++i) {
                const QByteArrayView value = rs.rawText(columns[i]);
                row[i] = {static_cast<quint32>(next.m_text.size()),
                          static_cast<quint32>(value.size())};
                next.m_text.append(value.data(), static_cast<size_t>(value.size()));
            }
            next.m_rows.push_back(row);
            rs.MoveNext();
        }
        next.m_text.shrink_to_fit();
        next.m_rows.shrink_to_fit();
        next.sortBySurname(isContacts(kind) ? 2 : 1);
        if (keepTicks && kind == m_kind)
            next.m_checked = carriedTicks(next);
        else
            next.m_checked.assign(next.m_rows.size(), 0);
    } catch (...) {
        clear();
        throw;
    }
    beginResetModel();
    m_kind = kind;
    m_icon = QIcon(rowIconPath(kind));
    m_text.swap(next.m_text);
    m_rows.swap(next.m_rows);
    m_order.swap(next.m_order);
    m_checked.swap(next.m_checked);
    endResetModel();
}

QByteArray ArchiveModel::entry(int row) const {
    QByteArray texts;
    for (int column = FirstTextColumn; column < ColumnCount; ++column)
        texts.append(cell(row, column).toByteArray()).append('\0');
    return texts;
}

// A contact is named by its number, a message by its number and date.
QByteArray ArchiveModel::key(int row) const {
    QByteArray k = cell(row, 1).toByteArray();
    if (!isContacts(m_kind))
        k.append('\0').append(cell(row, 3).toByteArray());
    return k;
}

std::vector<quint8> ArchiveModel::carriedTicks(const ArchiveModel& next) const {
    const auto rows = static_cast<int>(next.m_order.size());
    std::vector<quint8> ticks(static_cast<size_t>(rows), 0);
    QHash<QByteArray, int> ticked; // entry -> how many rows of it were ticked
    QHash<QByteArray, int> byKey;  // key -> ticks not found again by their texts
    for (int row : checkedRows()) {
        ++ticked[entry(row)];
        ++byKey[key(row)];
    }
    if (ticked.isEmpty())
        return ticks;
    // The rows as they were keep their ticks.
    for (int row = 0; row < rows; ++row) {
        const auto it = ticked.find(next.entry(row));
        if (it == ticked.end() || *it == 0)
            continue;
        --*it;
        --byKey[next.key(row)];
        ticks[static_cast<size_t>(row)] = 1;
    }
    // A ticked entry whose texts changed (an edited contact) is found by its key, never on a
    // row the user had left unticked.
    QHash<QByteArray, int> untickedBefore;
    for (int row = 0; row < rowCount(); ++row)
        if (!isChecked(row) && byKey.value(key(row)) > 0)
            ++untickedBefore[entry(row)];
    for (int row = 0; row < rows; ++row) {
        if (ticks[static_cast<size_t>(row)])
            continue;
        const QByteArray k = next.key(row);
        if (byKey.value(k) <= 0)
            continue;
        const auto left = untickedBefore.find(next.entry(row));
        if (left != untickedBefore.end() && *left > 0) {
            --*left;
            continue;
        }
        --byKey[k];
        ticks[static_cast<size_t>(row)] = 1;
    }
    return ticks;
}

// Rows are taken newest first, as a list that inserts each row at the top, then put in
// surname order; rows with the same surname keep newest first.
void ArchiveModel::sortBySurname(int surnameField) {
    struct Item {
        quint64 prefix;
        quint32 keyOffset;
        quint32 keyLength;
        quint32 row;
    };
    const auto n = static_cast<quint32>(m_rows.size());
    std::string keys;
    std::vector<Item> items;
    items.reserve(n);
    for (quint32 i = n; i-- > 0;) {
        const Cell c = m_rows[i][static_cast<size_t>(surnameField)];
        const QByteArray key =
            store::jettext::sortKey(QByteArrayView(m_text.data() + c.offset, c.length));
        quint64 prefix = 0;
        for (qsizetype b = 0; b < 8; ++b)
            prefix = (prefix << 8) | (b < key.size() ? static_cast<quint8>(key[b]) : 0u);
        items.push_back(
            {prefix, static_cast<quint32>(keys.size()), static_cast<quint32>(key.size()), i});
        keys.append(key.constData(), static_cast<size_t>(key.size()));
    }
    std::stable_sort(items.begin(), items.end(), [&keys](const Item& a, const Item& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int c = std::memcmp(keys.data() + a.keyOffset, keys.data() + b.keyOffset,
                                  std::min(a.keyLength, b.keyLength));
        return c != 0 ? c < 0 : a.keyLength < b.keyLength;
    });
    m_order.resize(n);
    for (quint32 i = 0; i < n; ++i)
        m_order[i] = items[i].row;
}

QByteArrayView ArchiveModel::cell(int row, int column) const {
    if (row < 0 || static_cast<size_t>(row) >= m_order.size() || column < FirstTextColumn ||
        column >= ColumnCount)
        return {};
    const Cell c = m_rows[m_order[static_cast<size_t>(row)]][static_cast<size_t>(column - 1)];
    return QByteArrayView(m_text.data() + c.offset, c.length);
}

QString ArchiveModel::text(int row, int column) const {
    return QString::fromUtf8(cell(row, column));
}

Entry ArchiveModel::entryAt(int row) const {
    Entry entry;
    entry.archive = m_kind;
    entry.number = text(row, 1);
    entry.detail = text(row, 4);
    if (m_kind == QLatin1Char('r')) {
        entry.surname = text(row, 3);
    } else {
        entry.surname = text(row, 2);
        entry.date = text(row, 3);
    }
    return entry;
}

bool ArchiveModel::isChecked(int row) const {
    return row >= 0 && static_cast<size_t>(row) < m_checked.size() &&
           m_checked[static_cast<size_t>(row)] != 0;
}

void ArchiveModel::setChecked(int row, bool checked) {
    if (row < 0 || static_cast<size_t>(row) >= m_checked.size() || isChecked(row) == checked)
        return;
    m_checked[static_cast<size_t>(row)] = checked ? 1 : 0;
    const QModelIndex i = index(row, CheckColumn);
    emit dataChanged(i, i, {Qt::CheckStateRole});
    emit checkToggled(row, checked);
}

void ArchiveModel::setAllChecked(bool checked) {
    if (m_checked.empty())
        return;
    std::fill(m_checked.begin(), m_checked.end(), checked ? 1 : 0);
    emit dataChanged(index(0, CheckColumn), index(rowCount() - 1, CheckColumn),
                     {Qt::CheckStateRole});
}

QList<int> ArchiveModel::checkedRows() const {
    QList<int> rows;
    for (size_t i = 0; i < m_checked.size(); ++i)
        if (m_checked[i])
            rows.append(static_cast<int>(i));
    return rows;
}

int ArchiveModel::columnWidthTwips(QChar kind, int column) {
    if (column == CheckColumn)
        return 600;
    if (column == 4 && !isContacts(kind))
        return 3700;
    return 1700;
}

int ArchiveModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int ArchiveModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || m_kind.isNull() ? 0 : ColumnCount;
}

QVariant ArchiveModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    if (index.column() == CheckColumn) {
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
    if (role == Qt::ToolTipRole && index.column() == 4)
        return text(row, index.column());
    return {};
}

bool ArchiveModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != CheckColumn || !index.isValid())
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

QVariant ArchiveModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    static const char* const contactHeaders[] = {"", "Cellulare", "Nome", "Cognome", "Email"};
    static const char* const messageHeaders[] = {"", "Cellulare", "Cognome", "Data", "Testo"};
    return QString::fromLatin1(isContacts(m_kind) ? contactHeaders[section]
                                                  : messageHeaders[section]);
}

Qt::ItemFlags ArchiveModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == CheckColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}
