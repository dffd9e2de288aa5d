#pragma once

#include <QDialog>

struct Session;

class QLabel;
class QListWidget;
class QPushButton;

// The address-book window: lists the address books and creates, deletes and renames them.
// However it closes, the main window rebuilds its archive tree.
class AddressBookWindow final : public QDialog {
    Q_OBJECT
    Session& m_session;

public:
    // `listedBook`: the address book whose archive the browser lists (empty when a root is
    // selected); it cannot be renamed while listed.
    explicit AddressBookWindow(Session& session, const QString& listedBook = {},
                               QWidget* parent = nullptr);

    void createAddressBook();
    void deleteAddressBook();
    void renameAddressBook();
    void closeAddressBooks();

    void done(int result) override;

signals:
    // The window closed: the books may have been created, deleted or renamed.
    void addressBooksChanged();

private:
    void loadAddressBooks();
    // Delete and rename are enabled exactly when the list is not empty.
    void setButtons();
    QString selectedName() const;
    void removeFromList(const QString& name);

    QLabel* m_booksLabel; // "Rubriche Esistenti"
    QListWidget* m_bookList;
    QPushButton* m_newButton;
    QPushButton* m_deleteButton;
    QPushButton* m_renameButton;
    QPushButton* m_closeButton;
    QString m_listedBook;
};
