#include "gateway/accountname.h"

#include <QChar>
#include <QList>
#include <QSet>

#include <algorithm>

namespace gateway {

QString accountName(const QString& user) {
    return user.normalized(QString::NormalizationForm_C);
}

bool mixesScripts(const QString& user) {
    QSet<int> scripts;
    for (const char32_t c : user.toUcs4()) {
        const QChar::Script script = QChar::script(c);
        if (script != QChar::Script_Common && script != QChar::Script_Inherited)
            scripts.insert(script);
    }
    if (scripts.size() <= 1)
        return false;
    // Unicode's "highly restrictive" combinations (UTS #39).
    static const QList<QSet<int>> together = {
        {QChar::Script_Latin, QChar::Script_Han, QChar::Script_Hiragana, QChar::Script_Katakana},
        {QChar::Script_Latin, QChar::Script_Han, QChar::Script_Bopomofo},
        {QChar::Script_Latin, QChar::Script_Han, QChar::Script_Hangul}};
    return std::none_of(together.begin(), together.end(),
                        [&](const QSet<int>& allowed) { return allowed.contains(scripts); });
}

} // namespace gateway
