#pragma once

#include <QList>
#include <QString>

// Ready-made texts ("Modelli"): the settings file modelli in the application folder, UTF-8 with
// a byte-order mark, one text a line as "name<TAB>text" (a line break, a tab and a backslash in
// the text written \n, \t and \\); replaced whole, write then rename.
namespace templates {

inline const QString fileName = QStringLiteral("modelli");
inline constexpr int maxTemplates = 200;
inline constexpr int maxCharacters = 1600; // of one text

struct Template {
    QString name;
    QString text;
};

struct Loaded {
    QList<Template> list;
    QString problem; // why the file was refused, naming it; the list is then empty
};
// The texts of the application folder; none when it has no file.
Loaded load(const QString& appFolder);
// Replaces the file; false when it could not be written.
bool save(const QString& appFolder, const QList<Template>& list);

// Adds a template to the list; why it cannot (the list is full, the text too long), or empty.
QString add(QList<Template>& list, const Template& added);
// Characters of a text as the user counts them (an emoji is one).
qsizetype characters(const QString& text);

} // namespace templates
