#include "contacts/contactsearch.h"

#include "app/session.h"
#include "contacts/contactstore.h"
#include "platform/controls.h"
#include "platform/waitcursor.h"
#include "store/archive.h"
#include "windows/handler.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QStringListModel>
#include <QVBoxLayout>

namespace {

QStringListModel* model(const QListView* list) {
    return static_cast<QStringListModel*>(list->model());
}

} // namespace

ContactSearch::ContactSearch(Session& session, const QString& book, QWidget* parent)
    : QDialog(parent)
    , Text1(new QLineEdit(this))
    , Text2(new QLineEdit(this))
    , Text3(new QLineEdit(this))
    , Text4(new QLineEdit(this))
    , List4(new QListView(this))
    , List2(new QListView(this))
    , List1(new QListView(this))
    , List3(new QListView(this))
    , Label5(new QLabel(QStringLiteral("Contatti Trovati"), this))
    , Command1(platform::iconButton(this, "Command1", "cerca", QStringLiteral("Cerca")))
    , Command2(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi")))
    , m_session(session)
    , m_book(book) {
    setObjectName(QStringLiteral("Form3"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Cerca Contatto"));
    platform::nameControls({{Text1, "Text1"},
                            {Text2, "Text2"},
                            {Text3, "Text3"},
                            {Text4, "Text4"},
                            {List4, "List4"},
                            {List2, "List2"},
                            {List1, "List1"},
                            {List3, "List3"},
                            {Label5, "Label5"}});

    auto* criteria = new QGridLayout;
    const std::pair<const char*, QLineEdit*> boxes[] = {
        {"Cognome", Text1}, {"Cellulare", Text2}, {"Nome", Text3}, {"Email", Text4}};
    int row = 0;
    for (const auto& [caption, box] : boxes) {
        criteria->addWidget(new QLabel(QLatin1String(caption), this), row, 0);
        criteria->addWidget(box, row, 1);
        box->installEventFilter(this);
        ++row;
    }
    criteria->addWidget(Command1, 0, 2);

    // Four lists, one line per contact, scrolled together.
    auto* results = new QGridLayout;
    const std::pair<const char*, QListView*> columns[] = {
        {"Cognome", List4}, {"Nome", List2}, {"Cellulare", List1}, {"Email", List3}};
    int column = 0;
    for (const auto& [caption, list] : columns) {
        list->setModel(new QStringListModel(list));
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setUniformItemSizes(true);
        list->setMinimumHeight(180);
        results->addWidget(new QLabel(QLatin1String(caption), this), 0, column);
        results->addWidget(list, 1, column);
        ++column;
    }
    for (QListView* list : lists()) {
        for (QListView* other : lists())
            if (other != list)
                connect(list->verticalScrollBar(), &QScrollBar::valueChanged,
                        other->verticalScrollBar(), &QScrollBar::setValue);
        if (list != List1) // only the numbers pick a contact
            connect(list, &QListView::clicked, list,
                    [list](const QModelIndex& index) { list->setCurrentIndex(index); });
    }
    QFont bold = Label5->font();
    bold.setBold(true);
    Label5->setFont(bold);
    List1->setToolTip(QStringLiteral("Clic per scegliere il contatto, doppio clic per "
                                     "scrivergli un SMS"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(criteria);
    layout->addSpacing(6);
    layout->addWidget(Label5);
    layout->addLayout(results, 1);
    layout->addLayout(buttons);
    setMinimumWidth(640);
    Command1->setDefault(true);

    handler::onClick(Command1, [this] { searchContacts(); });
    connect(Command2, &QPushButton::clicked, this, [this] { closeSearch(); });
    connect(List1, &QListView::clicked, this, [this] { selectFoundLine(); });
    connect(List1, &QListView::doubleClicked, this,
            [this] { handler::run([this] { composeToFound(); }); });
}

QList<QListView*> ContactSearch::lists() const {
    return {List4, List2, List1, List3};
}

int ContactSearch::resultCount() const {
    return model(List1)->rowCount();
}

void ContactSearch::clearResults() {
    for (QListView* list : lists())
        model(list)->setStringList({});
}

void ContactSearch::searchContacts() {
    // The last criterion given, in this order, decides.
    const std::pair<QLineEdit*, contacts::Field> criteria[] = {{Text1, contacts::Field::Cognome},
                                                               {Text2, contacts::Field::Cellulare},
                                                               {Text3, contacts::Field::Nome},
                                                               {Text4, contacts::Field::Email}};
    const std::pair<QLineEdit*, contacts::Field>* chosen = nullptr;
    for (const auto& criterion : criteria)
        if (!criterion.first->text().isEmpty())
            chosen = &criterion;
    if (!chosen)
        return;
    clearResults();

    platform::WaitCursor wait;
    store::Database& db =
        m_session.archive.open(store::archive::addressBookPath(m_session.appFolder, m_book));
    const QList<contacts::Contact> found =
        contacts::search(db, chosen->second, chosen->first->text());
    QStringList surnames, names, numbers, emails;
    for (const contacts::Contact& c : found) {
        surnames.append(c.cognome);
        names.append(c.nome);
        numbers.append(c.cellulare);
        emails.append(c.email);
    }
    model(List4)->setStringList(surnames);
    model(List2)->setStringList(names);
    model(List1)->setStringList(numbers);
    model(List3)->setStringList(emails);
}

void ContactSearch::closeSearch() {
    reject();
}

void ContactSearch::selectFoundLine() {
    const int line = List1->currentIndex().row();
    if (line < 0)
        return;
    for (QListView* list : {List2, List3, List4})
        list->setCurrentIndex(list->model()->index(line, 0));
    Text1->setText(model(List4)->index(line).data().toString());
    Text3->setText(model(List2)->index(line).data().toString());
    Text4->setText(model(List3)->index(line).data().toString());
    Text2->setText(model(List1)->index(line).data().toString());
}

void ContactSearch::composeToFound() {
    const QModelIndex current = List1->currentIndex();
    if (!current.isValid())
        return;
    Entry contact;
    contact.number = current.data().toString();
    contact.surname = Text1->text();
    contact.archive = QLatin1Char('r');
    contact.book = m_book;
    accept();
    emit composeRequested(contact);
}

void ContactSearch::criterionPressed(QLineEdit* box) {
    for (QLineEdit* other : {Text1, Text2, Text3, Text4})
        if (other != box)
            other->clear();
    clearResults();
}

bool ContactSearch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress)
        if (auto* box = qobject_cast<QLineEdit*>(watched))
            criterionPressed(box);
    return QDialog::eventFilter(watched, event);
}
