#include "core/archivetree.h"

#include <algorithm>

namespace archivetree {

using store::ArchiveKind;

namespace {

struct Root {
    const char* key;
    const char* text;
    ArchiveKind kind;
    int picture;
};

constexpr Root roots[] = {
    {"a1", "Rubriche", ArchiveKind::Contacts, 1},
    {"a2", "SMS Salvati", ArchiveKind::Saved, 3},
    {"a3", "SMS Inviati", ArchiveKind::Sent, 4},
    {"a4", "SMS Cancellati", ArchiveKind::Deleted, 5},
};

// The kind a node's text names: "S", "I" or "C" as its fifth character, else "R" as its first.
ArchiveKind textKind(const QString& text) {
    switch (text.size() >= 5 ? text.at(4).unicode() : u'\0') {
    case u'C':
        return ArchiveKind::Deleted;
    case u'I':
        return ArchiveKind::Sent;
    case u'S':
        return ArchiveKind::Saved;
    default:
        return text.startsWith(u'R') ? ArchiveKind::Contacts : ArchiveKind::None;
    }
}

} // namespace

QList<Node> nodes(const QStringList& addressBooks) {
    QList<Node> result;
    result.reserve(4 * (addressBooks.size() + 1));
    for (const Root& r : roots) {
        result.append({QString::fromLatin1(r.key), QString::fromLatin1(r.text), r.picture, true});
        for (qsizetype i = 0; i < addressBooks.size(); ++i)
            result.append({store::kindLetter(r.kind) + QString::number(i + 1), addressBooks[i],
                           r.picture, false});
    }
    return result;
}

ArchiveKind keyKind(const QString& key) {
    return key.isEmpty() ? ArchiveKind::None : store::kindOfLetter(key.at(0));
}

// The kinds go in the order of the tests, so the later of the two is the last that holds.
ArchiveKind headerKind(const QString& key, const QString& text) {
    return std::max(keyKind(key), textKind(text));
}

QString kindCaption(ArchiveKind kind) {
    switch (kind) {
    case ArchiveKind::Contacts:
        return QStringLiteral("Rubrica");
    case ArchiveKind::Saved:
        return QStringLiteral("SMS Salvati");
    case ArchiveKind::Sent:
        return QStringLiteral("SMS Inviati");
    case ArchiveKind::Deleted:
        return QStringLiteral("SMS Cancellati");
    case ArchiveKind::None:
        break;
    }
    return {};
}

int kindPicture(ArchiveKind kind) {
    for (const Root& r : roots)
        if (r.kind == kind)
            return r.picture;
    return 0;
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
