#pragma once

#include "contacts/excludednumbers.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

// "Numeri esclusi": the numbers that asked not to be written to; each change is written at
// once. `number`, when given, is added as the window opens (a contact's "Escludi dai messaggi").
class ExcludedWindow final : public QDialog {
    Q_OBJECT
public:
    ExcludedWindow(QString appFolder, const QString& number, QWidget* parent = nullptr);

    void addTyped();
    void removeSelected();
    void importFile();

private:
    void add(const QString& number);
    void save();
    void showList();

    QString m_appFolder;
    excluded::List m_list;
    QListWidget* m_numberList;
    QLineEdit* m_numberEdit;
    QPushButton* m_addButton;
    QPushButton* m_removeButton;
    QPushButton* m_importButton;
    QPushButton* m_closeButton;
};
