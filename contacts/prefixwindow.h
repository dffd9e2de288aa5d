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

private:
    void loadPrefixes();
    void move(int step);

    QLabel* m_prefixesLabel;
    QListWidget* m_prefixList;
    QLabel* m_newPrefixLabel;
    QLineEdit* m_newPrefixEdit;
    QPushButton* m_saveButton;
    QPushButton* m_upButton;
    QPushButton* m_downButton;
};
