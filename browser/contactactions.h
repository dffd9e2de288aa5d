#pragma once

#include "browser/entry.h"

#include <QDialog>

class QFrame;
class QLabel;

// The contact actions the browser pops up at the pointer: four entries drawn as labels, like a
// context menu. The first three apply to a contact; "Cancella Spuntati" to any archive. It
// closes when it loses activation or when a command has run. `entry`: the row it was opened on
// (its archive tells whether the contact entries apply).
class ContactActions final : public QDialog {
    Q_OBJECT
public:
    explicit ContactActions(const Entry& entry, QWidget* parent = nullptr);

    void paintEntries();
    void closeOnDeactivation();
    void editContact();
    void composeToContact();
    void mailContact();
    // "Escludi dai messaggi": the contact's number goes among the excluded numbers.
    void excludeContact();
    void deleteTickedEntries();
    // On a deleted archive only: "Ripristina Spuntati".
    void restoreTickedEntries();
    // On a sent archive only: "Esito invio".
    void showSendReport();
    void hoverEdit();
    void hoverCompose();
    void hoverMail();
    void hoverExclude();
    void hoverDelete();
    void hoverRestore();
    void hoverReport();

signals:
    void editRequested();
    void composeRequested();
    void excludeRequested();
    // "Cancella Spuntati": the browser asks and deletes.
    void deleteTickedRequested();
    // "Ripristina Spuntati": the browser moves them back to the sent archive.
    void restoreTickedRequested();
    // "Esito invio": the report of the sent message the actions were opened on.
    void reportRequested();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clickEntry(int entry); // 0 to 6: the entries from the top, "Escludi dai messaggi" last
    bool forContact() const;
    void hover(QLabel* entry);
    void paint(QLabel* entry, const QColor& background, const QColor& text);

    QFrame* m_outerFrame;
    QFrame* m_contactFrame;
    QFrame* m_deleteFrame;
    QLabel* m_editLabel;
    QLabel* m_composeLabel;
    QLabel* m_mailLabel;
    QLabel* m_excludeLabel;
    QFrame* m_mailSeparatorFrame;
    QLabel* m_deleteTickedLabel;
    QLabel* m_restoreTickedLabel;
    QLabel* m_reportLabel;
    QFrame* m_deleteSeparatorFrame;

    Entry m_entry;
    bool m_busy = false;        // a command is running: losing activation waits for its end
    bool m_deactivated = false; // activation was lost while busy
};
