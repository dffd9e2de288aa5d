#include "browser/storedrows.h"

QByteArrayView StoredRows::field(qsizetype row, int column) const {
    const size_t at = static_cast<size_t>(m_order[static_cast<size_t>(row)] * m_columns + column);
    const qsizetype begin = at == 0 ? 0 : m_ends[at - 1];
    return QByteArrayView(m_bytes.constData() + begin, m_ends[at] - begin);
}

QStringList StoredRows::texts(qsizetype row) const {
    static const QString blank = QStringLiteral(" ");
    QStringList texts;
    texts.reserve(m_columns);
    for (int c = 0; c < m_columns; ++c) {
        const QByteArrayView utf8 = field(row, c);
        if (utf8.isEmpty())
            texts.append(QStringLiteral(""));
        else
            texts.append(utf8 == " " ? blank : QString::fromUtf8(utf8));
    }
    return texts;
}

qsizetype StoredRows::beginRow() {
    return static_cast<qsizetype>(m_ends.size()) / m_columns;
}

void StoredRows::addField(QByteArrayView utf8) {
    m_bytes.append(utf8);
    m_ends.push_back(m_bytes.size());
}
