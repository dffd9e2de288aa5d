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

public:
    QLabel* Label1; // "Rubriche Esistenti"
    QListWidget* List1;
    QPushButton* Command1;
    QPushButton* Command2;
    QPushButton* Command3;
    QPushButton* Command4;

private:
    void loadAddressBooks();
    // Delete and rename are enabled exactly when the list is not empty.
    void setButtons();
    QString selectedName() const;
    void removeFromList(const QString& name);
    QString m_listedBook;
};
