#include "contacts/contactsearch.h"

#include "contacts/contactstore.h"
#include "core/session.h"
#include "platform/controls.h"
#include "platform/waitcursor.h"
#include "store/archive.h"
#include "store/listing.h"
#include "windows/handler.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <memory>
#include <span>
#include <vector>

namespace {

// The contacts found: their rowids in stored order, and the texts of the pages the lists show.
class Found final {
public:
    Found(const QString& path, std::vector<qint64> rowids)
        : m_listing(path, QStringLiteral("rubrica"),
                    {QStringLiteral("cognome"), QStringLiteral("Nome"), QStringLiteral("cellulare"),
                     QStringLiteral("email")},
                    QStringLiteral("cognome"))
        , m_rowids(std::move(rowids)) {}

    int count() const { return static_cast<int>(m_rowids.size()); }
    // Field 0 surname, 1 first name, 2 number, 3 e-mail; empty for a contact gone since.
    QString text(int line, int field) {
        const int number = line / pageLines;
        auto page = m_pages.find(number);
        if (page == m_pages.end()) {
            if (m_pages.size() >= pagesKept)
                m_pages.clear();
            const size_t first = static_cast<size_t>(number) * pageLines;
            const size_t n = std::min<size_t>(pageLines, m_rowids.size() - first);
            const std::span<const qint64> keys(m_rowids.data() + first, n);
            QHash<qint64, QStringList> rows;
            try {
                rows = m_listing.read(keys);
            } catch (const store::StoreError&) {
                return {}; // read again when shown again
            }
            std::vector<QStringList> texts;
            for (qint64 key : keys)
                texts.push_back(rows.value(key));
            page = m_pages.insert(number, std::move(texts));
        }
        return page->at(static_cast<size_t>(line % pageLines)).value(field);
    }

private:
    static constexpr int pageLines = 64;
    static constexpr qsizetype pagesKept = 32;
    store::Listing m_listing;
    std::vector<qint64> m_rowids;
    QHash<int, std::vector<QStringList>> m_pages;
};

// One of the four lists: one field of the contacts found.
class FoundList final : public QAbstractListModel {
public:
    FoundList(int field, QObject* parent)
        : QAbstractListModel(parent)
        , m_field(field) {}

    void show(std::shared_ptr<Found> found) {
        beginResetModel();
        m_found = std::move(found);
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() || !m_found ? 0 : m_found->count();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!m_found || !index.isValid() || index.row() >= m_found->count() ||
            (role != Qt::DisplayRole && role != Qt::EditRole))
            return {};
        return m_found->text(index.row(), m_field);
    }

private:
    int m_field;
    std::shared_ptr<Found> m_found;
};

FoundList* model(const QListView* list) {
    return static_cast<FoundList*>(list->model());
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

    QLayout* criteria = buildCriteria();
    QLayout* results = buildResults();
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

    connectControls();
}

// The four criteria, each a caption and a box, and the search button.
QLayout* ContactSearch::buildCriteria() {
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
    return criteria;
}

// Four lists, one line per contact, scrolled together.
QLayout* ContactSearch::buildResults() {
    auto* results = new QGridLayout;
    const std::pair<const char*, QListView*> columns[] = {{"Cognome", m_surnameList},
                                                          {"Nome", m_nameList},
                                                          {"Cellulare", m_numberList},
                                                          {"Email", m_emailList}};
    int column = 0;
    for (const auto& [caption, list] : columns) {
        list->setModel(new FoundList(column, list));
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setUniformItemSizes(true);
        list->setMinimumHeight(180);
        results->addWidget(new QLabel(QLatin1String(caption), this), 0, column);
        results->addWidget(list, 1, column);
        ++column;
    }
    QFont bold = m_foundLabel->font();
    bold.setBold(true);
    m_foundLabel->setFont(bold);
    m_numberList->setToolTip(QStringLiteral("Clic per scegliere il contatto, doppio clic per "
                                            "scrivergli un SMS"));
    return results;
}

void ContactSearch::connectControls() {
    for (QListView* list : lists()) {
        for (QListView* other : lists())
            if (other != list)
                connect(list->verticalScrollBar(), &QScrollBar::valueChanged,
                        other->verticalScrollBar(), &QScrollBar::setValue);
        if (list != m_numberList) // only the numbers pick a contact
            connect(list, &QListView::clicked, list,
                    [list](const QModelIndex& index) { list->setCurrentIndex(index); });
    }
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
        model(list)->show(nullptr);
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
    const QString path = store::archive::addressBookPath(m_session.appFolder, m_book);
    const auto db = store::Database::open(path);
    // The keys of every contact found; the lists read the texts of the lines they show.
    auto found = std::make_shared<Found>(
        path, db->rowids(contacts::searchQuery(chosen->second, chosen->first->text())));
    for (QListView* list : lists())
        model(list)->show(found);
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
    contact.archive = store::ArchiveKind::Contacts;
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
