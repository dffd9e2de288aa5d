#pragma once

#include <QWidget>

class ArchiveModel;
class QCheckBox;
class QLabel;
class QTimer;
class QTreeView;

// The archive browser inside the main window: the contacts of an address book, or its saved,
// sent or deleted messages, as the archive tree selects them.
class ArchiveBrowser final : public QWidget {
    Q_OBJECT
public:
    explicit ArchiveBrowser(QWidget* parent = nullptr);
    ~ArchiveBrowser() override;
    static ArchiveBrowser* instance();

    // Start-up: opens the list of address books, selects the first one and clicks it.
    void openIndexArchive();
    // Asks for one refresh once the current handler has returned.
    void refreshList();
    // A refresh that lists rows just added, even before the first tree click: from now on the
    // list follows the archive as after a click.
    void mostraNuovi();
    void showContacts();
    void showSaved();
    void showSent();
    void showDeleted();
    // Fills the current entry from the clicked row (the right button's row too).
    void selectCurrentEntry();
    // Delete: removes the current entry (the row last clicked) after asking.
    void deleteEntryOnKey(int keyCode, Qt::KeyboardModifiers shift);
    // Opens the composer for the current contact or saved message.
    void openComposerForEntry();
    // The right button opens the contact actions near the pointer (global position).
    void showContactActions(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint globalPos);
    // Ticks or unticks every row, as the box says.
    void tickAll();
    // Sets the select-all box; a change ticks or unticks every row.
    void setSelectAll(bool ticked);

    // What the tree click writes: no rows, no columns, the select-all box cleared.
    void clearList();
    // The header: archive name (one blank, then the node's text), kind caption and picture.
    void showListHeader(const QString& nodeText, QChar kind);
    // The layout of the main window: panel size in pixels.
    void resizeList(int width, int height);

    ArchiveModel* model() const { return m_model; }

    QWidget* Picture1;
    QWidget* Picture4;
    QWidget* Picture5;
    QLabel* Picture3;
    QLabel* Label2;
    QLabel* Label6;
    QCheckBox* Check1;
    QTreeView* lvw1;
    QTimer* Timer3;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void reloadList();
    void fill(QChar kind);
    void applyColumnWidths();
    // The box and its caption, leaving the ticks as they are.
    void showSelectAll(bool ticked);
    void clearCurrentEntry();

    ArchiveModel* m_model;
    QString m_book; // the address book whose rows are listed; empty when none
};
