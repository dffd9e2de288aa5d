#pragma once

#include <QDialog>

struct Session;

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The prefix list window: add, remove and reorder the prefixes the contact editor offers.
// The list is a working copy; only the save button writes the file.
class PrefixWindow final : public QDialog {
    Q_OBJECT
    Session& m_session;

public:
    explicit PrefixWindow(Session& session, QWidget* parent = nullptr);

    void savePrefixes();
    void movePrefixUp();
    void movePrefixDown();
    void removePrefix();

    QLabel* Label1;
    QListWidget* List1;
    QLabel* Label2;
    QLineEdit* Text1;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;

private:
    void loadPrefixes();
    void move(int step);
};
