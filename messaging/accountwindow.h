#pragma once

#include <QDialog>

struct Session;

class QLabel;
class QLineEdit;
class QPushButton;

// The sign-in window: the user name and password of the SMS service account.
class AccountWindow final : public QDialog {
    Q_OBJECT
    Session& m_session;

public:
    explicit AccountWindow(Session& session, QWidget* parent = nullptr);

    void saveAccount();
    void closeAccount();
    void openAccountRequestPage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadAccount();

    QLineEdit* m_userNameEdit;
    QLineEdit* m_passwordEdit;
    QLabel* m_accountRequestLabel; // opens the page to ask for an account
    QPushButton* m_saveButton;
    QPushButton* m_closeButton;
};
