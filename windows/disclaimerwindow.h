#pragma once

#include <QDialog>

struct Session;

class QFrame;
class QLabel;
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

    // Fills Text1 from the application folder.
    void loadDisclaimer();
    void acceptTerms(); // Accetto
    void refuseTerms(); // Rifiuto

    QFrame* Frame1;
    QPlainTextEdit* Text1;
    QPushButton* Command1;
    QPushButton* Command2;
    QLabel* Image1;
    QLabel* Label1; // postal address
    QLabel* Label2; // web address
};
