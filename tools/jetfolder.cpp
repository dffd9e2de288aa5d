#include "tools/jetfolder.h"

#include <QDateTime>
#include <QDir>

namespace jetfolder {

using jetwriter::Column;
using jetwriter::Table;
using jetwriter::Type;

QStringList bookNames(int books) {
    static const QStringList names{QStringLiteral("Amici"), QStringLiteral("Città d'arte"),
                                   QStringLiteral("Lavoro € più")};
    QStringList out;
    for (int i = 0; i < books; ++i)
        out.append(i < names.size() ? names[i] : QStringLiteral("Rubrica %1").arg(i + 1));
    return out;
}

QList<Table> bookTables(int contacts, int messages, bool iconAsText) {
    static const QStringList first{"Niccolò", "José", "Zoë", "", "Anna", "Renée"};
    static const QStringList last{"D'Angelo", "Müller", "Rossi", "Çelik", "Bianchi"};
    Table rubrica{"rubrica",
                  {{"Nome", Type::Text, 50},
                   {"cognome", Type::Text, 50},
                   {"cellulare", Type::Text, 30},
                   {"email", Type::Text, 100},
                   {"icona", iconAsText ? Type::Text : Type::Long, 3}},
                  {}};
    for (int i = 0; i < contacts; ++i) {
        const QString surname = QStringLiteral("%1 %2").arg(last[i % last.size()]).arg(i);
        rubrica.rows.append(
            {first[i % first.size()], surname,
             i % 13 == 5 ? QVariant() : QStringLiteral("+39 333 %1").arg(i, 7, 10, QChar(u'0')),
             i % 7 == 3   ? QVariant()
             : i % 7 == 4 ? QStringLiteral("")
                          : QStringLiteral("p%1@esempio.it").arg(i),
             i % 11 == 2  ? QVariant()
             : iconAsText ? QVariant(QString::number(i % 5))
                          : QVariant(i % 5)});
    }
    QList<Table> tables{rubrica};
    const QDateTime start(QDate(2004, 2, 29), QTime(23, 59, 58));
    for (const char* name : {"salvati", "inviati", "cancellati"}) {
        Table t{name,
                {{"cognome", Type::Text, 50},
                 {"cellulare", Type::Text, 30},
                 {"Data", Type::Text, 30},
                 {"Testo", Type::Memo}},
                {}};
        for (int i = 0; i < messages; ++i) {
            QVariant text = QStringLiteral("Ciao %1, è l'ora del caffè: 1,50 €\n\"a dopo\"").arg(i);
            if (i == 0 && t.name == "inviati")
                text = QStringLiteral("Lungo testo con àèìòù € e l'apostrofo; ").repeated(120);
            else if (i % 6 == 4)
                text = i % 12 == 4 ? QVariant() : QStringLiteral("");
            t.rows.append({last[i % last.size()],
                           QStringLiteral("+39 347 %1").arg(i, 7, 10, QChar(u'0')),
                           start.addSecs(i * 3600).toString("dd/MM/yyyy HH:mm:ss"), text});
        }
        tables.append(t);
    }
    return tables;
}

bool write(const QString& folder, const Size& size, QString* error) {
    const QStringList books = bookNames(size.books);
    Table elenco{"elenco", {{"Rubrica", Type::Text, 50}}, {}};
    for (const QString& book : books)
        elenco.rows.append({book});
    const QDir dir(folder);
    if (!dir.mkpath("rubriche")) {
        if (error)
            *error = folder + ": cannot make rubriche";
        return false;
    }
    const QList<Table> tables = bookTables(size.contacts, size.messages);
    bool ok = jetwriter::write(dir.filePath("elenco.mdb"), {elenco}, error) &&
              jetwriter::write(dir.filePath("rubrica_base.mdb"), tables, error);
    for (const QString& book : books) {
        const bool textIcons = books.size() > 1 && book == books.last();
        ok = ok && jetwriter::write(
                       dir.filePath("rubriche/" + book),
                       textIcons ? bookTables(size.contacts, size.messages, true) : tables, error);
    }
    return ok;
}

} // namespace jetfolder
