#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The contact editor: a new contact in the address book selected in the archive tree, or
// changes to the browser's current contact (appState().modifica == 1 when it opens).
class ContactEditor final : public QDialog {
    Q_OBJECT
public:
    explicit ContactEditor(QWidget* parent = nullptr);

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

    // Closing by any way ends edit mode.
    void done(int result) override;

private:
    void loadContactForm();
    void saveNew();
    void saveChanges();
    QString cellulare() const;

    bool m_edit = false;
    QString m_bookPath; // the address book, fixed when the editor opens
    QString m_numero;   // edit mode: the number of the contact being changed
};
