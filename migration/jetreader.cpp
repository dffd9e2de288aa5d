#include "migration/jetreader.h"

#include <QFile>

#include <mdbtools.h>

#include <memory>
#include <vector>

namespace migration {

namespace {

constexpr int bindSize = 64 * 1024; // a memo field's text, UTF-8

MdbHandle* handle(void* mdb) {
    return static_cast<MdbHandle*>(mdb);
}

struct TableDeleter {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using Table = std::unique_ptr<MdbTableDef, TableDeleter>;

Table openTable(void* entry, const QString& name) {
    Table table(mdb_read_table(static_cast<MdbCatalogEntry*>(entry)));
    if (!table || !mdb_read_columns(table.get()))
        throw JetError(QStringLiteral("la tabella %1 non si può leggere").arg(name));
    return table;
}

MdbColumn* column(MdbTableDef* table, unsigned i) {
    return static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
}

} // namespace

JetReader::JetReader(const QString& path)
    : m_mdb(mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS))
    , m_path(path) {
    if (!m_mdb)
        throw JetError(QStringLiteral("il file non si può aprire"));
    mdb_set_bind_size(handle(m_mdb), bindSize);
    if (!mdb_read_catalog(handle(m_mdb), MDB_TABLE)) {
        mdb_close(handle(m_mdb));
        throw JetError(QStringLiteral("l'indice delle tabelle non si può leggere (file "
                                      "danneggiato o cifrato)"));
    }
}

JetReader::~JetReader() {
    mdb_close(handle(m_mdb));
}

QStringList JetReader::tables() const {
    QStringList names;
    MdbHandle* mdb = handle(m_mdb);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (mdb_is_user_table(entry))
            names.append(QString::fromUtf8(entry->object_name));
    }
    return names;
}

void* JetReader::entry(const QString& table) const {
    MdbHandle* mdb = handle(m_mdb);
    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
        if (mdb_is_user_table(entry) &&
            QString::fromUtf8(entry->object_name).compare(table, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return nullptr;
}

QStringList JetReader::columns(const QString& name) const {
    void* found = entry(name);
    if (!found)
        return {};
    const Table table = openTable(found, name);
    QStringList names;
    for (unsigned i = 0; i < table->num_cols; ++i)
        names.append(QString::fromUtf8(column(table.get(), i)->name));
    return names;
}

qint64 JetReader::declaredRows(const QString& name) const {
    void* found = entry(name);
    return found ? openTable(found, name)->num_rows : 0;
}

qint64 JetReader::read(const QString& name, const QStringList& wanted, const Row& row) const {
    void* found = entry(name);
    if (!found)
        throw JetError(QStringLiteral("manca la tabella %1").arg(name));
    const Table table = openTable(found, name);
    MdbHandle* mdb = handle(m_mdb);

    // Column i of the table feeds value slot[i] (-1: not wanted).
    std::vector<int> slot(table->num_cols, -1);
    for (qsizetype w = 0; w < wanted.size(); ++w) {
        unsigned i = 0;
        while (i < table->num_cols && QString::fromUtf8(column(table.get(), i)->name)
                                              .compare(wanted[w], Qt::CaseInsensitive) != 0)
            ++i;
        if (i == table->num_cols)
            throw JetError(
                QStringLiteral("nella tabella %1 manca il campo %2").arg(name, wanted[w]));
        slot[i] = int(w);
    }
    std::vector<std::vector<char>> buffers(wanted.size(), std::vector<char>(bindSize));
    std::vector<int> lengths(wanted.size());
    for (unsigned i = 0; i < table->num_cols; ++i)
        if (slot[i] >= 0)
            mdb_bind_column(table.get(), int(i) + 1, buffers[slot[i]].data(), &lengths[slot[i]]);

    std::vector<Value> values(wanted.size());
    std::vector<MdbField> fields(table->num_cols);
    qint64 rows = 0;
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
        bool someEmpty = false;
        for (qsizetype w = 0; w < wanted.size(); ++w) {
            values[w] = {QByteArrayView(buffers[w].data(), lengths[w]), false};
            someEmpty = someEmpty || lengths[w] == 0;
        }
        // A bound value is "" both for an empty text and for no value: the row, still on the
        // page buffer, tells them apart.
        int start = 0;
        size_t size = 0;
        if (someEmpty && mdb_find_row(mdb, int(table->cur_row) - 1, &start, &size) == 0) {
            const int cracked = mdb_crack_row(table.get(), start & 0x1FFF, size, fields.data());
            for (int f = 0; f < cracked && f < int(table->num_cols); ++f) {
                const int s = slot[unsigned(fields[f].colnum)];
                if (s >= 0 && fields[f].is_null)
                    values[s].null = true;
            }
        }
        row(values);
        ++rows;
    }
    return rows;
}

} // namespace migration
