#include "exchange/csvexport.h"

#include "exchange/filebytes.h"
#include "platform/textfile.h"

#include <algorithm>

namespace csvexport {

Writer::Writer()
    : m_text(QLatin1String(header) + QLatin1String("\r\n")) {}

void Writer::addField(const QString& value) {
    // In quotes, as spreadsheets write it, only when it holds what would split or open a field.
    if (std::none_of(value.begin(), value.end(),
                     [](QChar c) { return c == u';' || c == u'"' || c == u'\r' || c == u'\n'; })) {
        m_text += value;
        return;
    }
    m_text += QLatin1Char('"');
    for (const QChar c : value) {
        if (c == QLatin1Char('"'))
            m_text += QLatin1Char('"');
        m_text += c;
    }
    m_text += QLatin1Char('"');
}

Writer::Writer(const QStringList& columns)
    : m_text(columns.join(QLatin1Char(';')) + QLatin1String("\r\n")) {}

void Writer::add(const QString& nome, const QString& cognome, const QString& cellulare,
                 const QString& email) {
    // The address book keeps an empty field as one blank: the file has it empty.
    const auto field = [](const QString& value) {
        return value == QLatin1String(" ") ? QString() : value;
    };
    addRow({field(nome), field(cognome), field(cellulare), field(email)});
}

void Writer::addRow(const QStringList& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m_text += QLatin1Char(';');
        addField(fields[i]);
    }
    m_text += QLatin1String("\r\n");
    ++m_contacts;
}

QByteArray Writer::bytes() const {
    if (auto exact = platform::TextFile::encodeExactly(m_text))
        return *std::move(exact);
    return QByteArray("\xEF\xBB\xBF") + m_text.toUtf8();
}

std::optional<QString> Writer::save(const QString& path) const {
    return exchange::saveWhole(path, bytes());
}

} // namespace csvexport
