#pragma once

#include "browser/deletion.h"
#include "browser/entry.h"

#include <QWidget>

#include <functional>
#include <memory>

struct Session;
namespace store {
class Database;
}
class ArchiveModel;
class QCheckBox;
class QLabel;
class QTimer;
class QTableView;

// The archive browser inside the main window: the contacts of an address book, or its saved,
// sent or deleted messages, as the archive tree selects them. The row last clicked is the
// current entry; what is asked of a row (compose, edit) goes out as a signal.
class ArchiveBrowser final : public QWidget {
    Q_OBJECT
public:
    explicit ArchiveBrowser(Session& session, QWidget* parent = nullptr);
    ~ArchiveBrowser() override;

    // A tree click: the node's key ("r1", "s2", "a1" ...) and text. Empties the list, shows
    // the header and refreshes from the archive the node stands for.
    void showArchive(const QString& key, const QString& text);
    // The tree's current node, clicked or not: what the next refresh lists.
    void setNode(const QString& key, const QString& text);
    // Asks for one refresh once the current handler has returned.
    void refreshList();
    // Until the next tree click, refreshes leave the list as it is (no saved layout at start).
    void holdList();
    // A refresh that lists rows just added, even while the list is held: from now on the
    // list follows the archive as after a click.
    void showNewRows();
    // The row last clicked, with its archive and book; texts empty when none.
    Entry currentEntry() const { return m_entry; }
    // No current entry until the next click on a row (a composer has closed).
    void clearCurrentEntry();
    // Ticked entries read at a time by the commands on them.
    static constexpr qsizetype tickedBatch = 65536;
    // The ticked rows' entries, in list order, `batch` at a time (each with its book).
    void readTicked(qsizetype batch, const std::function<void(const QList<Entry>&)>& take) const;
    // True while a root of the tree is listed (no archive: commands are refused).
    bool showsRoot() const;
    // Deletes the ticked entries after asking; sent messages go to the deleted archive.
    void deleteTicked();
    // On a deleted archive: moves the ticked messages back to the sent one and says how many.
    void restoreTicked();
    // True while the deleted messages of a book are listed.
    bool showsDeleted() const { return listedKind() == store::ArchiveKind::Deleted; }
    void showContacts();
    void showSaved();
    void showSent();
    void showDeleted();
    // Fills the current entry from the clicked row (the right button's row too).
    void selectCurrentEntry();
    // Delete: removes the current entry (the row last clicked) after asking.
    void deleteEntryOnKey(int keyCode, Qt::KeyboardModifiers shift);
    // A double click: the composer on the current contact or saved message; with Shift held on
    // a sent message, its report.
    void openComposerForEntry(Qt::KeyboardModifiers modifiers = {});
    // The right button opens the contact actions near the pointer (global position).
    void showContactActions(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint globalPos);
    // Ticks or unticks every row, as the box says.
    void tickAll();
    // Sets the select-all box; a change ticks or unticks every row.
    void setSelectAll(bool ticked);

    // What the tree click writes: no rows, no columns, the select-all box cleared.
    void clearList();
    // The header: archive name (one blank, then the node's text), kind caption and picture.
    void showListHeader(const QString& nodeText, store::ArchiveKind kind);
    // The layout of the main window: panel size in pixels.
    void resizeList(int width, int height);

    ArchiveModel* model() const { return m_model; }

signals:
    // The composer on this entry: a contact, a saved message, or a contact's actions.
    void composeRequested(const Entry& entry);
    // The contact editor on this contact.
    void editRequested(const Entry& entry);
    // "Esito invio" on this sent message (its actions, or a double click with Shift held).
    void reportRequested(const Entry& entry);
    // "Escludi dai messaggi" on a contact.
    void excludeRequested(const Entry& entry);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildHeader();
    void buildFooter();
    void buildList();
    void connectControls();
    void reloadList();
    void fill(store::ArchiveKind kind);
    void applyColumnWidths();
    // The box and its caption, leaving the ticks as they are.
    void showSelectAll(bool ticked);
    store::ArchiveKind listedKind() const;
    // The address book listed: the browser's own connection to it.
    store::Database& listedBook();
    deletion::Outcome
    inTickedBatches(const std::function<deletion::Outcome(const QList<Entry>&)>& step) const;

    QWidget* m_listPanel;
    QWidget* m_headerPanel;
    QWidget* m_footerPanel;
    QLabel* m_kindPictureLabel;
    QLabel* m_kindLabel;
    QLabel* m_archiveNameLabel;
    QCheckBox* m_selectAllCheck;
    QTableView* m_listView;
    QTimer* m_refreshTimer;

    Session& m_session;
    ArchiveModel* m_model;
    QString m_key; // the tree node shown: its key and text
    QString m_nodeText;
    QString m_book; // the address book whose rows are listed; empty when none
    std::unique_ptr<store::Database> m_listedBook; // opened by each fill
    bool m_following = false;                      // a refresh fills the list
    Entry m_entry;
};
