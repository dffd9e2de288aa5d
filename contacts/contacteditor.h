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

    QLabel* Label1;
    QLineEdit* Text1; // Nome
    QLabel* Label2;
    QLineEdit* Text2; // Cognome
    QLabel* Label5;   // the example: "esempio"
    QLabel* Label6;   // "123"
    QLabel* Label7;   // "1234467"
    QComboBox* Combo1;
    QLabel* Label3;
    QLineEdit* Text3; // the number after the prefix
    QLabel* Label4;
    QLineEdit* Text4; // email
    QLabel* Label8;   // icon value
    QPushButton* Command1;
    QPushButton* Command2;

signals:
    // A contact was added or changed: the lists showing the book refresh.
    void contactSaved();

private:
    void loadContactForm();
    void saveNew();
    void saveChanges();
    QString cellulare() const;

    Session& m_session;
    bool m_edit = false;
    QString m_bookPath; // the address book, fixed when the editor opens
    QString m_numero;   // edit mode: the number of the contact being changed
};
