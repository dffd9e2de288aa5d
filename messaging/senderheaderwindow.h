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

private:
    void loadSenderHeader();

    QLabel* m_headingLabel;
    QLabel* m_explanationLabel;
    QLabel* m_noteLabel;
    QLineEdit* m_headerEdit;
    QPushButton* m_saveButton;
    QPushButton* m_closeButton;
};
