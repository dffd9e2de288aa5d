#include "contacts/contacteditor.h"

#include "app/session.h"
#include "contacts/contactstore.h"
#include "contacts/prefixes.h"
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

#include <algorithm>

namespace {

const QString rubrica = QStringLiteral("rubrica");
const QString cellulareField = QStringLiteral("cellulare");
const QString placeholder = QStringLiteral("Prefisso");

void say(const QString& text, platform::Icon icon = platform::Icon::None) {
    platform::MsgBox(text, icon);
}

bool digitsOnly(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

store::Query byNumber(const QString& numero) {
    return store::Query(rubrica).whereEqual(cellulareField, numero);
}

} // namespace

ContactEditor::ContactEditor(Session& session, const Request& request, QWidget* parent)
    : QDialog(parent)
    , Label1(new QLabel(QStringLiteral("Nome"), this))
    , Text1(new QLineEdit(this))
    , Label2(new QLabel(QStringLiteral("Cognome"), this))
    , Text2(new QLineEdit(this))
    , Label5(new QLabel(QStringLiteral("esempio"), this))
    , Label6(new QLabel(QStringLiteral("123"), this))
    , Label7(new QLabel(QStringLiteral("1234467"), this))
    , Combo1(new QComboBox(this))
    , Label3(new QLabel(QStringLiteral("Cellulare"), this))
    , Text3(new QLineEdit(this))
    , Label4(new QLabel(QStringLiteral("Email"), this))
    , Text4(new QLineEdit(this))
    , Label8(new QLabel(this))
    , Command1(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Salva")))
    , Command2(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Annulla")))
    , m_session(session)
    , m_edit(request.number.has_value())
    , m_bookPath(store::archive::addressBookPath(session.appFolder, request.book))
    , m_numero(request.number.value_or(QString())) {
    setObjectName(QStringLiteral("Form4"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Gestione Contatti"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/contatto.svg")));
    platform::nameControls({{Label1, "Label1"},
                            {Text1, "Text1"},
                            {Label2, "Label2"},
                            {Text2, "Text2"},
                            {Label5, "Label5"},
                            {Label6, "Label6"},
                            {Label7, "Label7"},
                            {Combo1, "Combo1"},
                            {Label3, "Label3"},
                            {Text3, "Text3"},
                            {Label4, "Label4"},
                            {Text4, "Text4"},
                            {Label8, "Label8"}});
    Command1->setDefault(true);

    // A typed prefix stays as typed: no completion from the list, no insertion into it.
    Combo1->setEditable(true);
    Combo1->setCompleter(nullptr);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setMaxVisibleItems(15);
    Combo1->setMinimumContentsLength(6);
    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);
    Label3->setBuddy(Text3);
    Label4->setBuddy(Text4);
    QPalette grey = Label5->palette();
    grey.setColor(QPalette::WindowText, Qt::darkGray);
    for (QLabel* example : {Label5, Label6, Label7})
        example->setPalette(grey);
    Label8->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label8->setPalette(grey);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Text1, 0, 1, 1, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Text2, 1, 1, 1, 2);
    grid->addWidget(Label5, 2, 0);
    grid->addWidget(Label6, 2, 1);
    grid->addWidget(Label7, 2, 2);
    grid->addWidget(Label3, 3, 0);
    grid->addWidget(Combo1, 3, 1);
    grid->addWidget(Text3, 3, 2);
    grid->addWidget(Label4, 4, 0);
    grid->addWidget(Text4, 4, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Label8);
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    handler::onClick(Command1, [this] { saveContact(); });
    connect(Command2, &QPushButton::clicked, this, [this] { cancelEdit(); });
    handler::run([this] { loadContactForm(); });
}

void ContactEditor::loadContactForm() {
    auto& state = m_session;
    Label8->setText(QStringLiteral("4"));
    Combo1->addItems(contacts::prefixes::read(state.appFolder));
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(placeholder);

    if (!m_edit)
        return;
    state.archive.open(m_bookPath);
    store::Recordset& rs = state.archive.openRecordset(byNumber(m_numero));
    if (rs.isEof()) {
        say(QStringLiteral("Contatto non trovato"), platform::Icon::Critical);
        return;
    }
    const QString numero = rs.value(cellulareField);
    Text1->setText(rs.value(QStringLiteral("Nome")));
    Text2->setText(rs.value(QStringLiteral("cognome")));
    Combo1->setEditText(numero.left(3));
    Text3->setText(numero.mid(3));
    Text4->setText(rs.value(QStringLiteral("email")));
}

QString ContactEditor::cellulare() const {
    return Combo1->currentText() + Text3->text();
}

void ContactEditor::saveContact() {
    if (m_edit)
        saveChanges();
    else
        saveNew();
}

void ContactEditor::saveNew() {
    const QString prefix = Combo1->currentText();
    if (prefix == placeholder || prefix.isEmpty() || prefix == QStringLiteral(" ")) {
        say(QStringLiteral("Selezionare un Prefisso Valido"));
        return;
    }
    if (Text3->text().isEmpty()) {
        say(QStringLiteral("Inserire un numero telefonico valido"));
        return;
    }
    if (Text1->text().isEmpty())
        Text1->setText(QStringLiteral(" "));
    if (Text4->text().isEmpty())
        Text4->setText(QStringLiteral(" "));
    if (Text2->text().isEmpty()) {
        say(QStringLiteral("Cognome obbligatorio"));
        return;
    }

    // From here on every failure, the engine's included, is reported as a bad number.
    const QString invalid = QStringLiteral("inserire un numero telefonico valido");
    if (!digitsOnly(Text3->text())) {
        say(invalid);
        return;
    }
    const contacts::Contact contact{Text1->text(), Text2->text(), cellulare(), Text4->text(),
                                    Label8->text()};
    try {
        store::Database& db = m_session.archive.open(m_bookPath);
        if (contacts::numberExists(db, contact.cellulare)) {
            say(QStringLiteral("Numero di cellulare Esistente"), platform::Icon::Critical);
            return;
        }
        contacts::add(db, contact);
    } catch (const store::StoreError&) {
        say(invalid);
        return;
    }
    Text1->clear();
    Text2->clear();
    Text3->clear();
    Text4->clear();
    emit contactSaved();
    accept();
}

void ContactEditor::saveChanges() {
    auto& state = m_session;
    state.archive.open(m_bookPath);
    store::Recordset& rs = state.archive.openRecordset(byNumber(m_numero));
    if (rs.isEof()) {
        say(QStringLiteral("Contatto non trovato"), platform::Icon::Critical);
        return;
    }
    rs.Edit();
    rs.setValue(QStringLiteral("Nome"), Text1->text());
    rs.setValue(QStringLiteral("cognome"), Text2->text());
    rs.setValue(cellulareField, cellulare());
    rs.setValue(QStringLiteral("email"), Text4->text());
    rs.setValue(QStringLiteral("icona"), Label8->text());
    rs.Update();
    emit contactSaved();
    accept();
}

void ContactEditor::cancelEdit() {
    reject();
}
