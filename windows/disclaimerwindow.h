#pragma once

#include <QDialog>

struct Session;

class QFrame;
class QLabel;
class QLayout;
class QPlainTextEdit;
class QPushButton;

// The disclaimer, the first window of the program until the user has accepted it once.
// "Accetto" accepts the dialog, "Rifiuto" and the close box reject it; whoever opened it
// decides what follows.
class DisclaimerWindow final : public QDialog {
    Q_OBJECT
    Session& m_session;

public:
    explicit DisclaimerWindow(Session& session, QWidget* parent = nullptr);

    // True when the first line of mostra.txt in the folder is exactly "1".
    static bool termsDue(const QString& appFolder);
    // disclaimer.txt with every line preceded by CR LF; empty when the file cannot be read.
    static QString termsText(const QString& appFolder);

    // Shows the terms of the application folder.
    void loadDisclaimer();
    void acceptTerms(); // Accetto
    void refuseTerms(); // Rifiuto

private:
    void buildTerms();
    QLayout* buildSide();

    QFrame* m_termsFrame;
    QPlainTextEdit* m_termsEdit;
    QPushButton* m_acceptButton;
    QPushButton* m_refuseButton;
    QLabel* m_logoLabel;
    QLabel* m_addressLabel; // postal address
    QLabel* m_webLabel;
};
