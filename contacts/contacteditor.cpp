#include "contacts/contacteditor.h"

#include "contacts/contactstore.h"
#include "contacts/phonenumber.h"
#include "contacts/prefixes.h"
#include "core/session.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "store/archive.h"
#include "store/database.h"
#include "windows/handler.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString rubrica = QStringLiteral("rubrica");
const QString cellulareField = QStringLiteral("cellulare");
const QString placeholder = QStringLiteral("Prefisso");

void say(const QString& text, platform::Icon icon = platform::Icon::None) {
    platform::MsgBox(text, icon);
}

// A number written whole in the number box, country code and all: "+49 ...", "0049 ...".
bool wholeNumber(const QString& typed) {
    const QString text = typed.trimmed();
    return text.startsWith(u'+') || text.startsWith(QLatin1StringView("00"));
}

store::Query byNumber(const QString& numero) {
    return store::Query(rubrica).whereEqual(cellulareField, numero);
}

} // namespace

ContactEditor::ContactEditor(Session& session, const Request& request, QWidget* parent)
    : QDialog(parent)
    , m_nameLabel(new QLabel(QStringLiteral("Nome"), this))
    , m_nameEdit(new QLineEdit(this))
    , m_surnameLabel(new QLabel(QStringLiteral("Cognome"), this))
    , m_surnameEdit(new QLineEdit(this))
    , m_exampleLabel(new QLabel(QStringLiteral("esempio"), this))
    , m_examplePrefixLabel(new QLabel(QStringLiteral("123"), this))
    , m_exampleNumberLabel(new QLabel(QStringLiteral("1234467"), this))
    , m_prefixCombo(new QComboBox(this))
    , m_numberLabel(new QLabel(QStringLiteral("Cellulare"), this))
    , m_numberEdit(new QLineEdit(this))
    , m_emailLabel(new QLabel(QStringLiteral("Email"), this))
    , m_emailEdit(new QLineEdit(this))
    , m_iconLabel(new QLabel(this))
    , m_saveButton(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Salva")))
    , m_cancelButton(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Annulla")))
    , m_session(session)
    , m_edit(request.number.has_value())
    , m_bookPath(store::archive::addressBookPath(session.appFolder, request.book))
    , m_number(request.number.value_or(QString())) {
    setObjectName(QStringLiteral("Form4"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Gestione Contatti"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/contatto.svg")));
    platform::nameControls({{m_nameLabel, "Label1"},
                            {m_nameEdit, "Text1"},
                            {m_surnameLabel, "Label2"},
                            {m_surnameEdit, "Text2"},
                            {m_exampleLabel, "Label5"},
                            {m_examplePrefixLabel, "Label6"},
                            {m_exampleNumberLabel, "Label7"},
                            {m_prefixCombo, "Combo1"},
                            {m_numberLabel, "Label3"},
                            {m_numberEdit, "Text3"},
                            {m_emailLabel, "Label4"},
                            {m_emailEdit, "Text4"},
                            {m_iconLabel, "Label8"}});
    m_saveButton->setDefault(true);

    QLayout* fields = buildFields();
    QLayout* buttons = buildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    handler::onClick(m_saveButton, [this] { saveContact(); });
    connect(m_cancelButton, &QPushButton::clicked, this, [this] { cancelEdit(); });
    handler::run([this] { loadContactForm(); });
}

// Name, surname, the example in grey above the prefix and the number, e-mail.
QLayout* ContactEditor::buildFields() {
    // A typed prefix stays as typed: no completion from the list, no insertion into it.
    m_prefixCombo->setEditable(true);
    m_prefixCombo->setCompleter(nullptr);
    m_prefixCombo->setInsertPolicy(QComboBox::NoInsert);
    m_prefixCombo->setMaxVisibleItems(15);
    m_prefixCombo->setMinimumContentsLength(6);
    m_nameLabel->setBuddy(m_nameEdit);
    m_surnameLabel->setBuddy(m_surnameEdit);
    m_numberLabel->setBuddy(m_numberEdit);
    m_emailLabel->setBuddy(m_emailEdit);
    m_numberEdit->setToolTip(QStringLiteral("Il numero dopo il prefisso; un numero estero anche "
                                            "intero, con + o 00 davanti: +49 162 2433834"));
    QPalette grey = m_exampleLabel->palette();
    grey.setColor(QPalette::WindowText, Qt::darkGray);
    for (QLabel* example : {m_exampleLabel, m_examplePrefixLabel, m_exampleNumberLabel})
        example->setPalette(grey);
    auto* grid = new QGridLayout;
    grid->addWidget(m_nameLabel, 0, 0);
    grid->addWidget(m_nameEdit, 0, 1, 1, 2);
    grid->addWidget(m_surnameLabel, 1, 0);
    grid->addWidget(m_surnameEdit, 1, 1, 1, 2);
    grid->addWidget(m_exampleLabel, 2, 0);
    grid->addWidget(m_examplePrefixLabel, 2, 1);
    grid->addWidget(m_exampleNumberLabel, 2, 2);
    grid->addWidget(m_numberLabel, 3, 0);
    grid->addWidget(m_prefixCombo, 3, 1);
    grid->addWidget(m_numberEdit, 3, 2);
    grid->addWidget(m_emailLabel, 4, 0);
    grid->addWidget(m_emailEdit, 4, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    return grid;
}

// The icon value in grey on the left; Salva and Annulla on the right.
QLayout* ContactEditor::buildButtons() {
    m_iconLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_iconLabel->setPalette(m_exampleLabel->palette()); // grey, as buildFields made it
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_iconLabel);
    buttons->addStretch(1);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_cancelButton);
    return buttons;
}

void ContactEditor::loadContactForm() {
    auto& state = m_session;
    m_iconLabel->setText(QStringLiteral("4"));
    m_prefixCombo->addItems(contacts::prefixes::read(state.appFolder));
    m_prefixCombo->setCurrentIndex(-1);
    m_prefixCombo->setEditText(placeholder);

    if (!m_edit)
        return;
    const auto rs = book().openRecordset(byNumber(m_number));
    if (rs->isEof()) {
        say(QStringLiteral("Contatto non trovato"), platform::Icon::Critical);
        return;
    }
    m_nameEdit->setText(rs->value(QStringLiteral("Nome")));
    m_surnameEdit->setText(rs->value(QStringLiteral("cognome")));
    showNumber(rs->value(cellulareField));
    m_emailEdit->setText(rs->value(QStringLiteral("email")));
}

void ContactEditor::showNumber(const QString& stored) {
    if (!stored.startsWith(u'+')) {
        m_prefixCombo->setEditText(stored.left(3));
        m_numberEdit->setText(stored.mid(3));
    } else if (const auto parts = phone::countryParts(stored)) {
        m_prefixCombo->setEditText(parts->countryPrefix);
        m_numberEdit->setText(parts->national);
    } else {
        m_numberEdit->setText(stored);
    }
}

std::optional<phone::Number> ContactEditor::checkForm() {
    const QString prefix = m_prefixCombo->currentText();
    const QString typed = m_numberEdit->text();
    const bool whole = wholeNumber(typed);
    if (!whole && (prefix == placeholder || prefix.trimmed().isEmpty())) {
        say(QStringLiteral("Selezionare un Prefisso Valido"));
        return std::nullopt;
    }
    if (typed.trimmed().isEmpty()) {
        say(QStringLiteral("Inserire un numero telefonico valido"));
        return std::nullopt;
    }
    if (m_nameEdit->text().isEmpty())
        m_nameEdit->setText(QStringLiteral(" "));
    if (m_emailEdit->text().isEmpty())
        m_emailEdit->setText(QStringLiteral(" "));
    if (m_surnameEdit->text().isEmpty()) {
        say(QStringLiteral("Cognome obbligatorio"));
        return std::nullopt;
    }
    const phone::Reading reading = phone::read(whole ? typed : prefix + typed);
    if (!reading.number)
        say(QStringLiteral("Numero non valido: %1.").arg(reading.problem),
            platform::Icon::Exclamation);
    return reading.number;
}

void ContactEditor::saveContact() {
    const std::optional<phone::Number> number = checkForm();
    if (!number)
        return;
    store::Database& db = book();
    // A contact being changed may keep its own number.
    if (number->stored != m_number && contacts::numberExists(db, number->stored)) {
        say(QStringLiteral("Numero di cellulare Esistente"), platform::Icon::Critical);
        return;
    }
    if (!number->mobile &&
        platform::MsgBox(QStringLiteral("Il numero %1 non risulta un cellulare: gli SMS "
                                        "potrebbero non arrivare.\nSalvare comunque?")
                             .arg(phone::written(number->stored)),
                         platform::Icon::Question,
                         platform::Buttons::YesNo) != platform::Answer::Yes)
        return;
    const contacts::Contact contact{m_nameEdit->text(), m_surnameEdit->text(), number->stored,
                                    m_emailEdit->text(), m_iconLabel->text()};
    if (m_edit)
        saveChanges(db, contact);
    else
        saveNew(db, contact);
}

ContactEditor::~ContactEditor() = default;

// The editor's own connection to its address book, opened at first use.
store::Database& ContactEditor::book() {
    if (!m_book)
        m_book = store::Database::open(m_bookPath);
    return *m_book;
}

void ContactEditor::saveNew(store::Database& db, const contacts::Contact& contact) {
    contacts::add(db, contact);
    m_nameEdit->clear();
    m_surnameEdit->clear();
    m_numberEdit->clear();
    m_emailEdit->clear();
    emit contactSaved();
    accept();
}

void ContactEditor::saveChanges(store::Database& db, const contacts::Contact& contact) {
    const auto rs = db.openRecordset(byNumber(m_number));
    if (rs->isEof()) {
        say(QStringLiteral("Contatto non trovato"), platform::Icon::Critical);
        return;
    }
    rs->Edit();
    rs->setValue(QStringLiteral("Nome"), contact.nome);
    rs->setValue(QStringLiteral("cognome"), contact.cognome);
    rs->setValue(cellulareField, contact.cellulare);
    rs->setValue(QStringLiteral("email"), contact.email);
    rs->setValue(QStringLiteral("icona"), contact.icona);
    rs->Update();
    emit contactSaved();
    accept();
}

void ContactEditor::cancelEdit() {
    reject();
}
