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

    QLabel* Label1;
    QLineEdit* uid;
    QLabel* Label2;
    QLineEdit* pws;
    QPushButton* Command1;
};
