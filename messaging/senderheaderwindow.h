#pragma once

#include <QDialog>

struct Session;

class QLabel;
class QLineEdit;
class QPushButton;

// The sender header window: the text recipients see as the SMS sender.
class SenderHeaderWindow final : public QDialog {
    Q_OBJECT
    Session& m_session;

public:
    explicit SenderHeaderWindow(Session& session, QWidget* parent = nullptr);

    void saveSenderHeader();
    void closeSenderHeader();

    QLabel* Label1; // heading
    QLabel* Label2; // explanation
    QLabel* Label3; // note
    QLineEdit* Text1;
    QPushButton* Command1;
    QPushButton* Command2;

private:
    void loadSenderHeader();
};
