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

    QLineEdit* ui;
    QLineEdit* pw;
    QLabel* Label3;
    QPushButton* Command1;
    QPushButton* Command2;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadAccount();
};
