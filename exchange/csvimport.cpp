#include "exchange/csvimport.h"

#include "contacts/contactstore.h"
#include "platform/textfile.h"
#include "store/database.h"

#include <QFile>
#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>

namespace csvimport {

namespace {

constexpr qint64 linesPerTransaction = 5000;
constexpr qint64 linesPerProgress = 1000;

// The file's bytes: mapped when the system allows it, read otherwise.
class Source final {
public:
    bool open(const QString& path) {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadOnly))
            return false;
        const qint64 size = m_file.size();
        if (size == 0)
            return true;
        if (uchar* mapped = m_file.map(0, size)) {
            m_view = QByteArrayView(mapped, size);
            return true;
        }
        m_copy = m_file.readAll();
        m_view = m_copy;
        return m_file.error() == QFileDevice::NoError && m_copy.size() == size;
    }
    QByteArrayView bytes() const { return m_view; }
    // Re-encodes UTF-16 text as UTF-8, so that the rest reads bytes alone.
    void toUtf8(QStringConverter::Encoding from, int skip) {
        QStringDecoder decoder(from);
        m_copy = QString(decoder(m_view.sliced(skip))).toUtf8();
        m_view = m_copy;
    }

private:
    QFile m_file; // closed with the object, whatever way the import ends
    QByteArray m_copy;
    QByteArrayView m_view;
};

QString decodeText(QByteArrayView bytes, bool utf8) {
    return utf8 ? QString::fromUtf8(bytes) : platform::TextFile::decode(bytes);
}

QString fieldCountReason(qsizetype found, qsizetype needed) {
    return QStringLiteral("la riga ha %1 %2, ne servono almeno %3")
        .arg(found)
        .arg(found == 1 ? QStringLiteral("campo") : QStringLiteral("campi"))
        .arg(needed);
}

// Reads the lines of the file one after the other; a line's CR before LF is dropped.
class Lines final {
public:
    explicit Lines(QByteArrayView text)
        : m_text(text) {}
    bool atEnd() const { return m_pos >= m_text.size(); }
    qint64 position() const { return m_pos; }
    qint64 number() const { return m_number; }
    QByteArrayView next() {
        const char* begin = m_text.data() + m_pos;
        const auto rest = static_cast<size_t>(m_text.size() - m_pos);
        const auto* lf = static_cast<const char*>(std::memchr(begin, '\n', rest));
        qsizetype length = lf ? lf - begin : static_cast<qsizetype>(rest);
        m_pos += length + (lf ? 1 : 0);
        ++m_number;
        if (length > 0 && begin[length - 1] == '\r')
            --length;
        return QByteArrayView(begin, length);
    }
    // Only line ends (and CRs) are left.
    bool onlyBlankLinesLeft() const {
        return std::all_of(m_text.begin() + m_pos, m_text.end(),
                           [](char c) { return c == '\r' || c == '\n'; });
    }

private:
    QByteArrayView m_text;
    qint64 m_pos = 0;
    qint64 m_number = 0;
};

const QString nulReason = QStringLiteral(
    "la riga contiene caratteri nulli: il file non sembra un file di testo separato da "
    "punto e virgola");

} // namespace

qsizetype Columns::fieldsNeeded() const {
    return std::max({nome, cognome, cellulare, email}) + 1;
}

Columns columnsOf(QStringView header) {
    Columns columns;
    qsizetype index = 0;
    for (const QStringView name : header.split(u';')) {
        if (name == u"Nome")
            columns.nome = index;
        else if (name == u"Cognome")
            columns.cognome = index;
        else if (name == u"Cellulare")
            columns.cellulare = index;
        else if (name == u"Posta elettronica")
            columns.email = index;
        ++index;
    }
    return columns;
}

Detected detect(QByteArrayView data) {
    if (data.startsWith("\xEF\xBB\xBF"))
        return {Encoding::Utf8, 3};
    if (data.startsWith("\xFF\xFE"))
        return {Encoding::Utf16LE, 2};
    if (data.startsWith("\xFE\xFF"))
        return {Encoding::Utf16BE, 2};
    return {data.isValidUtf8() ? Encoding::Utf8 : Encoding::Windows1252, 0};
}

Outcome importFile(const QString& path, store::Database& db, const Progress& progress) {
    Outcome outcome;
    Source source;
    if (!source.open(path)) {
        outcome.status = Outcome::Unreadable;
        outcome.reason = QStringLiteral("il file non si può leggere");
        return outcome;
    }
    const Detected detected = detect(source.bytes());
    if (detected.encoding == Encoding::Utf16LE || detected.encoding == Encoding::Utf16BE)
        source.toUtf8(detected.encoding == Encoding::Utf16LE ? QStringConverter::Utf16LE
                                                             : QStringConverter::Utf16BE,
                      detected.bomLength);
    const bool utf8 = detected.encoding != Encoding::Windows1252;
    QByteArrayView text = source.bytes();
    if (detected.encoding == Encoding::Utf8)
        text = text.sliced(detected.bomLength);
    if (text.isEmpty()) {
        outcome.status = Outcome::EmptyFile;
        return outcome;
    }

    Lines lines(text);
    const QByteArrayView header = lines.next();
    auto stop = [&](const QString& reason) {
        outcome.status = Outcome::Stopped;
        outcome.line = lines.number();
        outcome.reason = reason;
    };
    if (header.contains('\0')) {
        stop(nulReason);
        return outcome;
    }
    const Columns columns = columnsOf(decodeText(header, utf8));
    const qsizetype needed = columns.fieldsNeeded();
    const qint64 total = text.size();

    auto rs = db.openRecordset(QStringLiteral("rubrica"));
    QVarLengthArray<QByteArrayView, 16> fields;

    // One line: true when stored, false when the import stops there.
    auto importLine = [&](QByteArrayView line) {
        if (line.isEmpty()) {
            if (!lines.onlyBlankLinesLeft())
                stop(QStringLiteral("la riga è vuota"));
            return false;
        }
        if (line.contains('\0')) {
            stop(nulReason);
            return false;
        }
        fields.clear();
        qsizetype start = 0;
        for (;;) {
            const qsizetype semicolon = line.indexOf(';', start);
            fields.append(line.sliced(start, (semicolon < 0 ? line.size() : semicolon) - start));
            if (semicolon < 0)
                break;
            start = semicolon + 1;
        }
        if (fields.size() < needed) {
            stop(fieldCountReason(fields.size(), needed));
            return false;
        }
        contacts::add(*rs, {decodeText(fields[columns.nome], utf8),
                            decodeText(fields[columns.cognome], utf8),
                            decodeText(fields[columns.cellulare], utf8),
                            decodeText(fields[columns.email], utf8)});
        return true;
    };

    bool going = !lines.atEnd();
    while (going) {
        qint64 inBatch = 0;
        const qint64 firstLine = lines.number() + 1;
        try {
            db.transaction([&] {
                while (inBatch < linesPerTransaction) {
                    if (lines.atEnd()) {
                        going = false;
                        return;
                    }
                    const QByteArrayView line = lines.next();
                    try {
                        if (!importLine(line)) {
                            going = false;
                            return;
                        }
                    } catch (const store::StoreError& e) {
                        rs->CancelUpdate();
                        stop(QStringLiteral("la rubrica non ha accettato il contatto (%1)")
                                 .arg(e.message()));
                        going = false;
                        return;
                    }
                    ++inBatch;
                    if (progress && inBatch % linesPerProgress == 0)
                        progress(lines.position(), total);
                }
            });
            outcome.imported += inBatch;
        } catch (const store::StoreError& e) {
            // The batch was rolled back: none of its lines are stored.
            outcome.status = Outcome::Stopped;
            outcome.line = firstLine;
            outcome.reason =
                QStringLiteral("la rubrica non ha potuto salvare i contatti (%1)").arg(e.message());
            return outcome;
        }
    }
    if (progress)
        progress(total, total);
    return outcome;
}

} // namespace csvimport
