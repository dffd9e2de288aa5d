#pragma once

#include "browser/entry.h"

#include <QDialog>

struct Session;

class QLabel;
class QLayout;
class QLineEdit;
class QListView;
class QPushButton;

// The contact search: the contacts of the selected address book whose surname, number, first
// name or e-mail begins with a typed text, in four lists that go together line by line.
class ContactSearch final : public QDialog {
    Q_OBJECT
public:
    // Searches the contacts of `book`.
    ContactSearch(Session& session, const QString& book, QWidget* parent = nullptr);

    void searchContacts();
    void closeSearch();
    void selectFoundLine(); // pick the contact of the clicked line
    void composeToFound();
    // The mouse pressed in a criterion box: the others and the results are emptied.
    void criterionPressed(QLineEdit* box);

    int resultCount() const;

signals:
    // The composer on the contact of the chosen line (the search has closed).
    void composeRequested(const Entry& contact);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLayout* buildCriteria();
    QLayout* buildResults();
    void connectControls();
    void clearResults();
    QList<QListView*> lists() const;

    QLineEdit* m_surnameEdit;
    QLineEdit* m_numberEdit;
    QLineEdit* m_nameEdit;
    QLineEdit* m_emailEdit;
    QListView* m_surnameList;
    QListView* m_nameList;
    QListView* m_numberList;
    QListView* m_emailList;
    QLabel* m_foundLabel; // "Contatti Trovati"
    QPushButton* m_searchButton;
    QPushButton* m_closeButton;

    Session& m_session;
    QString m_book;
};
