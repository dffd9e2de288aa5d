#include "contacts/excludednumbers.h"

#include "contacts/phonenumber.h"
#include "platform/textfile.h"

#include <QDir>

namespace excluded {

QString key(QStringView number) {
    const phone::Reading reading = phone::read(number);
    if (reading.number)
        return reading.number->stored;
    QString text = number.toString();
    text.remove(u' ');
    return text;
}

List List::load(const QString& appFolder) {
    List list;
    const auto lines = platform::TextFile::readLines(QDir(appFolder).filePath(fileName));
    for (const QString& line : lines.value_or(QStringList{}))
        list.add(line);
    return list;
}

bool List::save(const QString& appFolder) const {
    return platform::TextFile::replaceLines(QDir(appFolder).filePath(fileName), m_numbers);
}

bool List::contains(QStringView number) const {
    return m_keys.contains(key(number));
}

bool List::add(QStringView number) {
    const QString k = key(number.trimmed());
    if (k.isEmpty() || m_keys.contains(k))
        return false;
    m_keys.insert(k);
    m_numbers.append(k);
    return true;
}

bool List::remove(QStringView number) {
    const QString k = key(number.trimmed());
    if (!m_keys.remove(k))
        return false;
    m_numbers.removeOne(k);
    return true;
}

Imported importLines(List& list, const QStringList& lines) {
    Imported imported;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        const phone::Reading reading = phone::read(line);
        if (!reading.number)
            imported.refused << QStringLiteral("riga %1: %2").arg(i + 1).arg(reading.problem);
        else if (list.add(reading.number->stored))
            ++imported.added;
        else
            ++imported.already;
    }
    return imported;
}

} // namespace excluded
