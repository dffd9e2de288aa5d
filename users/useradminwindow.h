#pragma once

#include "users/userfile.h"

#include <QDialog>

struct Session;
#include <QList>
#include <QString>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The local users: list, add, change, delete. Every change rewrites the user file and reloads
// the window from it.
class UserAdminWindow final : public QDialog {
    Q_OBJECT
    Session& m_session;

public:
    explicit UserAdminWindow(Session& session, QWidget* parent = nullptr);

    void loadUsers();
    void showSelectedUser();
    void newUser();
    void modifyUser();
    void deleteSelectedUser();
    void saveUser();
    void closeUserAdmin();

    // "nuovo", "modifica", "cancella", or empty after a save.
    QString mode() const { return m_mode; }

    QListWidget* List1;
    QLabel* Label1; // "Nome Utente"
    QLineEdit* Text1;
    QLabel* Label2; // "Livello di Accesso"
    QLabel* Label3;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QGroupBox* Frame2;
    QLineEdit* Text2;
    QLineEdit* Text3;
    QComboBox* Combo1;
    QPushButton* Command4;
    QPushButton* Command5;

private:
    // Fills the list from the user file and selects the first user; tells what could not be read.
    void loadList();
    void showSelected();
    void openFrame(const QString& mode, const QString& title);
    // OK needs a name and a password; `withLevel`: the level text as well.
    void setOk(bool withLevel);
    // Writes `list`; false (the user told) when it could not be stored.
    bool save(const QList<users::User>& list, const users::User& changed);

    QList<users::User> m_users; // in step with List1
    QString m_mode;
};
