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
    , m_surnameEdit(new QLineEdit(this))
    , m_numberEdit(new QLineEdit(this))
    , m_nameEdit(new QLineEdit(this))
    , m_emailEdit(new QLineEdit(this))
    , m_surnameList(new QListView(this))
    , m_nameList(new QListView(this))
    , m_numberList(new QListView(this))
    , m_emailList(new QListView(this))
    , m_foundLabel(new QLabel(QStringLiteral("Contatti Trovati"), this))
    , m_searchButton(platform::iconButton(this, "Command1", "cerca", QStringLiteral("Cerca")))
    , m_closeButton(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi")))
    , m_session(session)
    , m_book(book) {
    setObjectName(QStringLiteral("Form3"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Cerca Contatto"));
    platform::nameControls({{m_surnameEdit, "Text1"},
                            {m_numberEdit, "Text2"},
                            {m_nameEdit, "Text3"},
                            {m_emailEdit, "Text4"},
                            {m_surnameList, "List4"},
                            {m_nameList, "List2"},
                            {m_numberList, "List1"},
                            {m_emailList, "List3"},
                            {m_foundLabel, "Label5"}});

    auto* criteria = new QGridLayout;
    const std::pair<const char*, QLineEdit*> boxes[] = {{"Cognome", m_surnameEdit},
                                                        {"Cellulare", m_numberEdit},
                                                        {"Nome", m_nameEdit},
                                                        {"Email", m_emailEdit}};
    int row = 0;
    for (const auto& [caption, box] : boxes) {
        criteria->addWidget(new QLabel(QLatin1String(caption), this), row, 0);
        criteria->addWidget(box, row, 1);
        box->installEventFilter(this);
        ++row;
    }
    criteria->addWidget(m_searchButton, 0, 2);

    // Four lists, one line per contact, scrolled together.
    auto* results = new QGridLayout;
    const std::pair<const char*, QListView*> columns[] = {{"Cognome", m_surnameList},
                                                          {"Nome", m_nameList},
                                                          {"Cellulare", m_numberList},
                                                          {"Email", m_emailList}};
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
        if (list != m_numberList) // only the numbers pick a contact
            connect(list, &QListView::clicked, list,
                    [list](const QModelIndex& index) { list->setCurrentIndex(index); });
    }
    QFont bold = m_foundLabel->font();
    bold.setBold(true);
    m_foundLabel->setFont(bold);
    m_numberList->setToolTip(QStringLiteral("Clic per scegliere il contatto, doppio clic per "
                                            "scrivergli un SMS"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(criteria);
    layout->addSpacing(6);
    layout->addWidget(m_foundLabel);
    layout->addLayout(results, 1);
    layout->addLayout(buttons);
    setMinimumWidth(640);
    m_searchButton->setDefault(true);

    handler::onClick(m_searchButton, [this] { searchContacts(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { closeSearch(); });
    connect(m_numberList, &QListView::clicked, this, [this] { selectFoundLine(); });
    connect(m_numberList, &QListView::doubleClicked, this,
            [this] { handler::run([this] { composeToFound(); }); });
}

QList<QListView*> ContactSearch::lists() const {
    return {m_surnameList, m_nameList, m_numberList, m_emailList};
}

int ContactSearch::resultCount() const {
    return model(m_numberList)->rowCount();
}

void ContactSearch::clearResults() {
    for (QListView* list : lists())
        model(list)->setStringList({});
}

void ContactSearch::searchContacts() {
    // The last criterion given, in this order, decides.
    const std::pair<QLineEdit*, contacts::Field> criteria[] = {
        {m_surnameEdit, contacts::Field::Cognome},
        {m_numberEdit, contacts::Field::Cellulare},
        {m_nameEdit, contacts::Field::Nome},
        {m_emailEdit, contacts::Field::Email}};
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
    model(m_surnameList)->setStringList(surnames);
    model(m_nameList)->setStringList(names);
    model(m_numberList)->setStringList(numbers);
    model(m_emailList)->setStringList(emails);
}

void ContactSearch::closeSearch() {
    reject();
}

void ContactSearch::selectFoundLine() {
    const int line = m_numberList->currentIndex().row();
    if (line < 0)
        return;
    for (QListView* list : {m_nameList, m_emailList, m_surnameList})
        list->setCurrentIndex(list->model()->index(line, 0));
    m_surnameEdit->setText(model(m_surnameList)->index(line).data().toString());
    m_nameEdit->setText(model(m_nameList)->index(line).data().toString());
    m_emailEdit->setText(model(m_emailList)->index(line).data().toString());
    m_numberEdit->setText(model(m_numberList)->index(line).data().toString());
}

void ContactSearch::composeToFound() {
    const QModelIndex current = m_numberList->currentIndex();
    if (!current.isValid())
        return;
    Entry contact;
    contact.number = current.data().toString();
    contact.surname = m_surnameEdit->text();
    contact.archive = QLatin1Char('r');
    contact.book = m_book;
    accept();
    emit composeRequested(contact);
}

void ContactSearch::criterionPressed(QLineEdit* box) {
    for (QLineEdit* other : {m_surnameEdit, m_numberEdit, m_nameEdit, m_emailEdit})
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
