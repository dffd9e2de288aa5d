#include "core/archivetree.h"

namespace archivetree {

namespace {

struct Root {
    const char* key;
    const char* text;
    char kind;
    int picture;
};

constexpr Root roots[] = {
    {"a1", "Rubriche", 'r', 1},
    {"a2", "SMS Salvati", 's', 3},
    {"a3", "SMS Inviati", 'i', 4},
    {"a4", "SMS Cancellati", 'c', 5},
};

bool fifthIs(const QString& text, char c) {
    return text.size() >= 5 && text.at(4) == QLatin1Char(c);
}

} // namespace

QList<Node> nodes(const QStringList& addressBooks) {
    QList<Node> result;
    result.reserve(4 * (addressBooks.size() + 1));
    for (const Root& r : roots) {
        result.append({QString::fromLatin1(r.key), QString::fromLatin1(r.text), r.picture, true});
        for (qsizetype i = 0; i < addressBooks.size(); ++i)
            result.append(
                {QLatin1Char(r.kind) + QString::number(i + 1), addressBooks[i], r.picture, false});
    }
    return result;
}

QChar headerKind(const QString& key, const QString& text) {
    QChar kind;
    if (key.startsWith(QLatin1Char('r')) || text.startsWith(QLatin1Char('R')))
        kind = QLatin1Char('r');
    if (key.startsWith(QLatin1Char('s')) || fifthIs(text, 'S'))
        kind = QLatin1Char('s');
    if (key.startsWith(QLatin1Char('i')) || fifthIs(text, 'I'))
        kind = QLatin1Char('i');
    if (key.startsWith(QLatin1Char('c')) || fifthIs(text, 'C'))
        kind = QLatin1Char('c');
    return kind;
}

QString kindCaption(QChar kind) {
    switch (kind.unicode()) {
    case 'r':
        return QStringLiteral("Rubrica");
    case 's':
        return QStringLiteral("SMS Salvati");
    case 'i':
        return QStringLiteral("SMS Inviati");
    case 'c':
        return QStringLiteral("SMS Cancellati");
    default:
        return {};
    }
}

int kindPicture(QChar kind) {
    switch (kind.unicode()) {
    case 'r':
        return 1;
    case 's':
        return 3;
    case 'i':
        return 4;
    case 'c':
        return 5;
    default:
        return 0;
    }
}

QString pictureResource(int picture) {
    static const char* const files[] = {"", "rubrica", "", "salvati", "inviati", "cancellati"};
    if (picture < 1 || picture > 5 || !*files[picture])
        return {};
    return QStringLiteral(":/icons/%1.svg").arg(QLatin1String(files[picture]));
}

bool isRootLabel(const QString& label6) {
    for (const Root& r : roots)
        if (label6 == QLatin1Char(' ') + QString::fromLatin1(r.text))
            return true;
    return false;
}

} // namespace archivetree
