#include "exchange/filebytes.h"

#include <QDir>
#include <QSaveFile>
#include <QStringDecoder>

namespace exchange {

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
