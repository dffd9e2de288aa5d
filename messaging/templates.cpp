#include "messaging/templates.h"

#include "platform/escapes.h"
#include "platform/textfile.h"

#include <QDir>
#include <QSaveFile>

namespace templates {

namespace {

QString path(const QString& appFolder) {
    return QDir(appFolder).filePath(fileName);
}

QString refused(const QString& appFolder, const QString& why) {
    return QStringLiteral("Il file dei modelli %1 non è stato letto: %2")
        .arg(QDir::toNativeSeparators(path(appFolder)), why);
}

} // namespace

qsizetype characters(const QString& text) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
    }
    return count;
}

QString add(QList<Template>& list, const Template& added) {
    if (characters(added.text) > maxCharacters)
        return QStringLiteral("Il testo supera %1 caratteri: un modello ne contiene al massimo "
                              "%1")
            .arg(maxCharacters);
    if (list.size() >= maxTemplates)
        return QStringLiteral("Sono già salvati %1 modelli: eliminarne uno per salvarne un altro")
            .arg(maxTemplates);
    list.append(added);
    return {};
}

Loaded load(const QString& appFolder) {
    Loaded loaded;
    const auto lines = platform::TextFile::readLines(path(appFolder), maxTemplates + 2);
    if (!lines)
        return loaded;
    for (qsizetype i = 0; i < lines->size(); ++i) {
        const QString& line = lines->at(i);
        if (line.isEmpty() && i == lines->size() - 1)
            break;
        if (loaded.list.size() == maxTemplates) {
            loaded.problem =
                refused(appFolder, QStringLiteral("contiene più di %1 modelli").arg(maxTemplates));
            break;
        }
        const qsizetype tab = line.indexOf(u'\t');
        const auto text = tab > 0 ? platform::escapes::unescaped(QStringView(line).sliced(tab + 1))
                                  : std::nullopt;
        if (!text) {
            loaded.problem =
                refused(appFolder, QStringLiteral("la riga %1 è danneggiata").arg(i + 1));
            break;
        }
        if (characters(*text) > maxCharacters) {
            loaded.problem = refused(appFolder, QStringLiteral("il modello della riga %1 supera "
                                                               "%2 caratteri")
                                                    .arg(i + 1)
                                                    .arg(maxCharacters));
            break;
        }
        loaded.list.append({line.left(tab), *text});
    }
    if (!loaded.problem.isEmpty())
        loaded.list.clear();
    return loaded;
}

bool save(const QString& appFolder, const QList<Template>& list) {
    QByteArray data("\xEF\xBB\xBF");
    for (const Template& t : list) {
        QString name = t.name;
        name.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
        data += (name + u'\t' + platform::escapes::escaped(t.text)).toUtf8() + "\r\n";
    }
    QSaveFile file(path(appFolder));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace templates
