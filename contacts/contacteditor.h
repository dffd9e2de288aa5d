#pragma once

#include <QDialog>

#include <optional>

struct Session;

class QComboBox;
class QLabel;
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

    void saveContact();
    void cancelEdit();

signals:
    // A contact was added or changed: the lists showing the book refresh.
    void contactSaved();

private:
    void loadContactForm();
    void saveNew();
    void saveChanges();
    QString cellulare() const;

    QLabel* m_nameLabel;
    QLineEdit* m_nameEdit;
    QLabel* m_surnameLabel;
    QLineEdit* m_surnameEdit;
    QLabel* m_exampleLabel;       // the example: "esempio"
    QLabel* m_examplePrefixLabel; // "123"
    QLabel* m_exampleNumberLabel; // "1234467"
    QComboBox* m_prefixCombo;
    QLabel* m_numberLabel;
    QLineEdit* m_numberEdit; // the number after the prefix
    QLabel* m_emailLabel;
    QLineEdit* m_emailEdit;
    QLabel* m_iconLabel; // icon value
    QPushButton* m_saveButton;
    QPushButton* m_cancelButton;

    Session& m_session;
    bool m_edit = false;
    QString m_bookPath; // the address book, fixed when the editor opens
    QString m_number;   // edit mode: the number of the contact being changed
};
