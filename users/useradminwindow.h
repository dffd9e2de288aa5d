#pragma once

#include "users/userfile.h"

#include <QDialog>

struct Session;
#include <QList>
#include <QString>

class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
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

private:
    QListWidget* m_userList;
    QLabel* m_nameCaptionLabel; // "Nome Utente"
    QLineEdit* m_selectedNameEdit;
    QLabel* m_levelCaptionLabel; // "Livello di Accesso"
    QLabel* m_selectedLevelLabel;
    QPushButton* m_newButton;
    QPushButton* m_modifyButton;
    QPushButton* m_deleteButton;
    QGroupBox* m_editGroup;
    QLineEdit* m_nameEdit;
    QLineEdit* m_passwordEdit;
    QComboBox* m_levelCombo;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;

    QLayout* buildUserList();
    void buildEditBox();
    QLayout* buildButtons();
    void connectControls();

    // Fills the list from the user file and selects the first user; tells what could not be read.
    void loadList();
    void showSelected();
    void openFrame(const QString& mode, const QString& title);
    // OK needs a name and a password; `withLevel`: the level text as well.
    void setOk(bool withLevel);
    // Writes `list`; false (the user told) when it could not be stored.
    bool save(const QList<users::User>& list, const users::User& changed);

    QList<users::User> m_users; // in step with m_userList
    QString m_mode;
};
