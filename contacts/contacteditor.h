#pragma once

#include "contacts/contactstore.h"
#include "contacts/phonenumber.h"

#include <QDialog>

#include <memory>
#include <optional>

struct Session;

class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;

// The contact editor: a new contact in an address book, or changes to one of its contacts.
// The address book and the contact are fixed when it opens.
class ContactEditor final : public QDialog {
    Q_OBJECT
public:
    struct Request {
        QString book;                  // the address book
        std::optional<QString> number; // the contact to change; none for a new contact
    };
    ContactEditor(Session& session, const Request& request, QWidget* parent = nullptr);
    ~ContactEditor() override;

    void saveContact();
    void cancelEdit();

signals:
    // A contact was added or changed: the lists showing the book refresh.
    void contactSaved();

private:
    QLayout* buildFields();
    QLayout* buildButtons();
    void loadContactForm();
    // An Italian number as its first three digits and the rest, a foreign one as its country
    // prefix and its national number.
    void showNumber(const QString& stored);
    // The number the boxes hold, read by phone::read: the number box alone when it holds a
    // whole number ("+49 ...", "0049 ..."), else the prefix and the number box. Says what is
    // wrong and gives none when the form cannot be saved.
    std::optional<phone::Number> checkForm();
    void saveNew(store::Database& db, const contacts::Contact& contact);
    void saveChanges(store::Database& db, const contacts::Contact& contact);
    store::Database& book();

    QLabel* m_nameLabel;
    QLineEdit* m_nameEdit;
    QLabel* m_surnameLabel;
    QLineEdit* m_surnameEdit;
    QLabel* m_exampleLabel;       // the example: "esempio"
    QLabel* m_examplePrefixLabel; // "123"
    QLabel* m_exampleNumberLabel; // "1234467"
    QComboBox* m_prefixCombo;
    QLabel* m_numberLabel;
    QLineEdit* m_numberEdit; // the number after the prefix, or a whole foreign one
    QLabel* m_emailLabel;
    QLineEdit* m_emailEdit;
    QLabel* m_iconLabel; // icon value
    QPushButton* m_saveButton;
    QPushButton* m_cancelButton;

    Session& m_session;
    bool m_edit = false;
    QString m_bookPath; // the address book, fixed when the editor opens
    std::unique_ptr<store::Database> m_book;
    QString m_number; // edit mode: the number of the contact being changed, as kept
};
