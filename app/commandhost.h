#pragma once

#include <QString>

class ArchiveBrowser;
class QDialog;

// What the main window lends the commands it hands out: its browser, the node selected in the
// archive tree, and its way of showing another window modal.
class CommandHost {
public:
    virtual ArchiveBrowser* browser() const = 0;
    virtual QString selectedKey() const = 0;
    virtual QString selectedText() const = 0;
    // The address book whose archive the browser lists; empty when a root is selected.
    virtual QString listedBook() const = 0;
    // Shows a window of the program modal; when it closes, the main window is activated again.
    virtual int showModal(QDialog& window) = 0;

protected:
    ~CommandHost() = default;
};
