#include "exchange/filebytes.h"

#include <QDir>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace exchange {

namespace {

// UTF-16 written without its mark, as some mail programs save a card: the first characters
// are ASCII, so every other byte is 0. Nullopt when the start does not look so.
std::optional<QStringConverter::Encoding> unmarkedUtf16(QByteArrayView bytes) {
    const qsizetype length = std::min<qsizetype>(bytes.size(), 64) & ~qsizetype{1};
    if (length < 4 || bytes.size() % 2 != 0)
        return std::nullopt;
    bool little = true;
    bool big = true;
    for (qsizetype i = 0; i < length; i += 2) {
        little = little && bytes[i] != 0 && bytes[i + 1] == 0;
        big = big && bytes[i] == 0 && bytes[i + 1] != 0;
    }
    if (little)
        return QStringConverter::Utf16LE;
    if (big)
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

} // namespace

bool FileBytes::open(const QString& path) {
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = m_file.size();
    if (size == 0)
        return true;
    if (uchar* mapped = m_file.map(0, size)) {
        m_view = QByteArrayView(mapped, size);
    } else {
        m_copy = m_file.readAll();
        m_view = m_copy;
        if (m_file.error() != QFileDevice::NoError || m_copy.size() != size)
            return false;
    }
    if (m_view.startsWith("\xEF\xBB\xBF")) {
        m_view = m_view.sliced(3);
        m_markedUtf8 = true;
    } else if (m_view.startsWith("\xFF\xFE") || m_view.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(m_view.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                             : QStringConverter::Utf16BE);
        m_copy = QString(decoder(m_view.sliced(2))).toUtf8();
        m_view = m_copy;
        m_markedUtf8 = true;
    } else if (const auto encoding = unmarkedUtf16(m_view)) {
        QStringDecoder decoder(*encoding);
        m_copy = QString(decoder(m_view)).toUtf8();
        m_view = m_copy;
        m_markedUtf8 = true;
    }
    return true;
}

std::optional<QString> saveWhole(const QString& path, const QByteArray& data) {
    const QString shown = QDir::toNativeSeparators(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("Impossibile creare il file %1: verificare che la cartella esista "
                              "e che si possa scrivere in essa.")
            .arg(shown);
    if (file.write(data) != data.size() || !file.commit())
        return QStringLiteral("Impossibile scrivere il file %1: il disco potrebbe essere pieno "
                              "o non scrivibile. Il file non è stato creato.")
            .arg(shown);
    return std::nullopt;
}

} // namespace exchange
