#include "tools/jetwriter.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <array>
#include <cstring>
#include <functional>

namespace jetwriter {
namespace {

constexpr int PageSize = 4096;
constexpr int RowTable = 14;                    // data page: offsets of the rows start here
constexpr int MaxRow = PageSize - RowTable - 2; // one row alone on a page
constexpr int MaxInlineMemo = 1024;             // longer memos go to LVAL pages
constexpr quint32 LvalOwner = 0x4c41564c;       // "LVAL" where a data page names its table
constexpr quint32 TablesFolder = 0x0f000001;    // catalog id of the folder of tables
constexpr double CreationDate = 36526.0;        // 2000-01-01
constexpr std::array<uchar, 4> HeaderKey{0xc7, 0xda, 0x39, 0x6b};

void put16(QByteArray& b, int at, quint32 v) {
    qToLittleEndian<quint16>(v, b.data() + at);
}
void put32(QByteArray& b, int at, quint32 v) {
    qToLittleEndian<quint32>(v, b.data() + at);
}
void add16(QByteArray& b, quint32 v) {
    b.resize(b.size() + 2);
    put16(b, int(b.size()) - 2, v);
}
void add32(QByteArray& b, quint32 v) {
    b.resize(b.size() + 4);
    put32(b, int(b.size()) - 4, v);
}

QByteArray ucs2(const QString& text) {
    QByteArray b(text.size() * 2, '\0');
    for (int i = 0; i < text.size(); ++i)
        put16(b, i * 2, text.at(i).unicode());
    return b;
}

// RC4, which masks a part of the header page.
void rc4(char* data, int size) {
    std::array<uchar, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[i] = uchar(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + HeaderKey[i % 4]) & 0xff;
        std::swap(s[i], s[j]);
    }
    for (int n = 0, i = 0, j = 0; n < size; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        data[n] = char(uchar(data[n]) ^ s[(s[i] + s[j]) & 0xff]);
    }
}

QByteArray headerPage() {
    QByteArray p(PageSize, '\0');
    p[1] = 1;
    std::memcpy(p.data() + 4, "Standard Jet DB", 15);
    p[0x14] = 1; // Jet 4
    put16(p, 0x3c, 1252);
    const auto dateMask = quint32(CreationDate); // an empty password is stored as this mask
    for (int at = 0x42; at < 0x42 + 40; at += 4)
        put32(p, at, dateMask);
    put16(p, 0x6e, 0x0409); // general sort order
    qToLittleEndian<double>(CreationDate, p.data() + 0x72);
    rc4(p.data() + 0x18, 128);
    return p;
}

// Data pages filled from their end, each naming its owner; a row is found as page << 8 | row.
class RowPages {
public:
    RowPages(QList<QByteArray>& file, quint32 owner, int firstPage = -1)
        : m_file(file)
        , m_owner(owner)
        , m_page(firstPage) {
        if (m_page >= 0)
            start(m_page);
    }
    quint32 add(const QByteArray& row) {
        if (m_page < 0 || m_top - row.size() < RowTable + 2 * (m_count + 1) || m_count == 255) {
            m_file.append(QByteArray(PageSize, '\0'));
            start(int(m_file.size()) - 1);
        }
        QByteArray& p = m_file[m_page];
        m_top -= int(row.size());
        std::memcpy(p.data() + m_top, row.constData(), size_t(row.size()));
        put16(p, RowTable + 2 * m_count, quint32(m_top));
        put16(p, 12, quint32(++m_count));
        put16(p, 2, quint32(m_top - RowTable - 2 * m_count));
        return quint32(m_page) << 8 | quint32(m_count - 1);
    }
    const QList<int>& pages() const { return m_pages; }

private:
    void start(int page) {
        m_page = page;
        m_top = PageSize;
        m_count = 0;
        m_pages.append(page);
        m_file[page][0] = 1;
        m_file[page][1] = 1;
        put32(m_file[page], 4, m_owner);
    }
    QList<QByteArray>& m_file;
    quint32 m_owner;
    int m_page;
    int m_top = PageSize;
    int m_count = 0;
    QList<int> m_pages;
};

// A type 0 usage map: the first page, then a bit per page from it.
QByteArray usageMap(const QList<int>& pages) {
    QByteArray map(1, '\0');
    add32(map, pages.isEmpty() ? 0 : quint32(pages.first()));
    for (int page : pages) {
        const int bit = page - pages.first();
        if (map.size() <= 5 + bit / 8)
            map.resize(5 + bit / 8 + 1, '\0');
        map[5 + bit / 8] = char(map[5 + bit / 8] | (1 << (bit % 8)));
    }
    return map;
}

struct Error {
    QString text;
};

// A memo value: its 12-byte header, then the text itself or a pointer to a chain of LVAL rows.
QByteArray memo(const QByteArray& text, RowPages& lval) {
    QByteArray value;
    if (text.size() <= MaxInlineMemo) {
        add32(value, quint32(text.size()) | 0x80000000u);
        add32(value, 0);
        add32(value, 0);
        return value + text;
    }
    const int chunk = MaxRow - 4;
    quint32 next = 0;
    for (qsizetype at = (text.size() - 1) / chunk * chunk; at >= 0; at -= chunk) {
        QByteArray row;
        add32(row, next);
        next = lval.add(row + text.mid(at, chunk));
    }
    add32(value, quint32(text.size()));
    add32(value, next);
    add32(value, 0);
    return value;
}

bool isFixed(Type type) {
    return type == Type::Long || type == Type::DateTime;
}

// num_cols, the fixed columns, the variable ones, their offsets backwards, their count, the
// null mask (1: a value).
QByteArray row(const QList<Column>& columns, const QVariantList& values, RowPages& lval) {
    if (values.size() != columns.size())
        throw Error{
            QStringLiteral("%1 values for %2 columns").arg(values.size()).arg(columns.size())};
    QByteArray fixed, variable, mask((columns.size() + 7) / 8, '\0');
    QList<int> offsets;
    for (int i = 0; i < columns.size(); ++i) {
        const Column& c = columns[i];
        const QVariant& v = values[i];
        if (!v.isNull())
            mask[i / 8] = char(mask[i / 8] | (1 << (i % 8)));
        if (c.type == Type::Long) {
            bool ok = v.isNull();
            const int n = v.isNull() ? 0 : v.toInt(&ok);
            if (!ok)
                throw Error{QStringLiteral("%1: not a whole number").arg(c.name)};
            add32(fixed, quint32(n));
        } else if (c.type == Type::DateTime) {
            const QDateTime t = v.toDateTime();
            if (!v.isNull() && (!t.isValid() || t.date() < QDate(1899, 12, 30)))
                throw Error{QStringLiteral("%1: not a date after 1899").arg(c.name)};
            const double days = v.isNull() ? 0
                                           : double(QDate(1899, 12, 30).daysTo(t.date())) +
                                                 t.time().msecsSinceStartOfDay() / 86400000.0;
            fixed.resize(fixed.size() + 8);
            qToLittleEndian<double>(days, fixed.data() + fixed.size() - 8);
        } else {
            offsets.append(int(variable.size()));
            if (v.isNull())
                continue;
            const QString text = v.toString();
            if (c.type == Type::Text && text.size() > c.size)
                throw Error{QStringLiteral("%1: longer than %2").arg(c.name).arg(c.size)};
            variable += c.type == Type::Memo ? memo(ucs2(text), lval) : ucs2(text);
        }
    }
    QByteArray r;
    add16(r, quint32(columns.size()));
    r += fixed;
    const int start = int(r.size());
    r += variable;
    if (!offsets.isEmpty()) {
        add16(r, quint32(r.size()));
        for (qsizetype i = offsets.size() - 1; i >= 0; --i)
            add16(r, quint32(start + offsets[i]));
        add16(r, quint32(offsets.size()));
    }
    r += mask;
    if (r.size() > MaxRow)
        throw Error{QStringLiteral("a row of %1 bytes does not fit a page").arg(r.size())};
    return r;
}

// Writes the rows after the pages reserved for the definition and the usage maps, then those.
void table(QList<QByteArray>& file, int tdefPage, int mapPage, const Table& t, bool system) {
    RowPages data(file, quint32(tdefPage)), lval(file, LvalOwner);
    for (const QVariantList& values : t.rows)
        data.add(row(t.columns, values, lval));
    RowPages maps(file, 0, mapPage);
    const QByteArray used = usageMap(data.pages());
    if (used.size() > MaxRow)
        throw Error{QStringLiteral("%1: too many pages").arg(t.name)};
    const quint32 usedAt = maps.add(used), freeAt = maps.add(usageMap({}));

    QByteArray& p = file[tdefPage];
    p[0] = 2;
    p[1] = 1;
    put32(p, 0x10, quint32(t.rows.size()));
    p[0x28] = system ? 0x53 : 0x4e;
    int fixedAt = 0, variables = 0;
    for (const Column& c : t.columns)
        variables += isFixed(c.type) ? 0 : 1;
    put16(p, 0x29, quint32(t.columns.size()));
    put16(p, 0x2b, quint32(variables));
    put16(p, 0x2d, quint32(t.columns.size()));
    put32(p, 0x37, usedAt);
    put32(p, 0x3b, freeAt);
    QByteArray defs, names;
    variables = 0;
    for (int i = 0; i < t.columns.size(); ++i) {
        const Column& c = t.columns[i];
        QByteArray d(25, '\0');
        static constexpr std::array<char, 4> codes{0x0a, 0x0c, 0x04, 0x08};
        d[0] = codes[size_t(c.type)];
        put16(d, 5, quint32(i));
        put16(d, 9, quint32(i));
        d[15] = isFixed(c.type) ? 0x03 : 0x02; // fixed length, may be null
        if (isFixed(c.type)) {
            put16(d, 21, quint32(fixedAt));
            put16(d, 23, c.type == Type::Long ? 4 : 8);
            fixedAt += c.type == Type::Long ? 4 : 8;
        } else {
            put16(d, 7, quint32(variables++));
            put16(d, 11, 0x0409); // general sort order
            put16(d, 23, c.type == Type::Text ? quint32(c.size * 2) : 0);
        }
        defs += d;
        add16(names, quint32(c.name.size() * 2));
        names += ucs2(c.name);
    }
    QByteArray tail = defs + names;
    add16(tail, 0xffff); // no long-value column maps follow
    const int end = 0x3f + int(tail.size());
    if (end > PageSize)
        throw Error{QStringLiteral("%1: too many columns").arg(t.name)};
    std::memcpy(p.data() + 0x3f, tail.constData(), size_t(tail.size()));
    put16(p, 2, quint32(PageSize - end - 8));
    put32(p, 8, quint32(end - 8));
}

} // namespace

bool write(const QString& path, const QList<Table>& tables, QString* error) {
    try {
        // Page 0 the header, 1 the catalog's usage maps, 2 its definition, always there.
        QList<QByteArray> file{headerPage(), QByteArray(PageSize, '\0'),
                               QByteArray(PageSize, '\0')};
        Table catalog{QStringLiteral("MSysObjects"),
                      {{QStringLiteral("Id"), Type::Long},
                       {QStringLiteral("ParentId"), Type::Long},
                       {QStringLiteral("Name"), Type::Text, 128},
                       {QStringLiteral("Type"), Type::Long},
                       {QStringLiteral("Flags"), Type::Long},
                       {QStringLiteral("LvProp"), Type::Memo}}, // OLE in Access, NULL here
                      {{0x0f000001, 0x0f000000, QStringLiteral("Tables"), 3, int(0x80000000), {}},
                       {2, TablesFolder, QStringLiteral("MSysObjects"), 1, int(0x80000002), {}}}};
        for (const Table& t : tables) {
            const int tdef = int(file.size());
            file.append({QByteArray(PageSize, '\0'), QByteArray(PageSize, '\0')});
            table(file, tdef, tdef + 1, t, false);
            catalog.rows.append({tdef, TablesFolder, t.name, 1, 0, {}});
        }
        table(file, 2, 1, catalog, true);
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            throw Error{out.errorString()};
        for (const QByteArray& page : file)
            out.write(page);
        if (!out.commit())
            throw Error{out.errorString()};
        return true;
    } catch (const Error& e) {
        if (error)
            *error = path + QStringLiteral(": ") + e.text;
        return false;
    }
}

bool damage(const QString& path, Damage how) {
    QFile f(path);
    if (how == Damage::Truncated)
        return f.resize(2 * PageSize + 100);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = f.readAll();
    if (how == Damage::Ace) {
        std::memcpy(bytes.data() + 4, "Standard ACE DB", 15);
        bytes[0x14] = 2;
    } else {
        quint32 noise = 12345;
        for (qsizetype i = PageSize; i < bytes.size(); ++i)
            bytes[i] = char((noise = noise * 1103515245u + 12345u) >> 24);
    }
    return f.seek(0) && f.write(bytes) == bytes.size();
}

} // namespace jetwriter
