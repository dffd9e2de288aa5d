#pragma once

#include <QDialog>

struct Session;

class QLabel;
class QLineEdit;
class QPushButton;

// The login: a local user's name and password open the main window. Closing it ends the
// program; whoever opened it decides what follows an accepted login.
class LoginWindow final : public QDialog {
    Q_OBJECT
    Session& m_session;

public:
    explicit LoginWindow(Session& session, QWidget* parent = nullptr);

    void logIn();

private:
    QLabel* m_userNameLabel;
    QLineEdit* m_userNameEdit;
    QLabel* m_passwordLabel;
    QLineEdit* m_passwordEdit;
    QPushButton* m_okButton;
};
