#pragma once

#include "messaging/templates.h"

#include <QDialog>

class QListWidget;
class QPlainTextEdit;
class QPushButton;

// "Modelli": the ready-made texts; "Inserisci" closes it with the chosen text, renaming and
// deleting write the file at once.
class TemplatesWindow final : public QDialog {
    Q_OBJECT
public:
    TemplatesWindow(QString appFolder, QList<templates::Template> list, QWidget* parent = nullptr);

    // The text "Inserisci" chose.
    QString chosenText() const { return m_chosen; }

    void insertChosen();
    void renameChosen();
    void deleteChosen();

private:
    void showList();
    void showText();
    bool save();

    QString m_appFolder;
    QList<templates::Template> m_list;
    QString m_chosen;
    QListWidget* m_nameList;
    QPlainTextEdit* m_textView;
    QPushButton* m_insertButton;
    QPushButton* m_renameButton;
    QPushButton* m_deleteButton;
    QPushButton* m_closeButton;
};
