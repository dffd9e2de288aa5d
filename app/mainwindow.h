#pragma once

#include <QMainWindow>
#include <QPointer>

class QAction;
class AboutBox;
class QDialog;
class QLabel;
class QSplitter;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;
class ArchiveBrowser;

// The main window: menus and toolbar on top, the archive tree and the credit on the left,
// the archive browser on the right. Closing it ends the program.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;
    static MainWindow* instance();

    // Start-up: settings files, the tree, the browser, the saved layout. Throws when the list
    // of address books cannot be read.
    void Form_Load();
    // Expands "Rubriche", reselects the node remembered by index and refreshes the browser.
    void Form_Activate();
    // Rebuilds the tree from the list of address books.
    void aggio();
    // Reports the selected node to the browser.
    void TreeView1_Click();

    // What other windows read or set.
    QString selectedKey() const;
    QString selectedText() const;
    void selezionaNodo(int index); // selects without a click
    int nodeCount() const;
    void scriviData(const QString& text);
    void scriviCredito(double credito);

    // Commands (the toolbar runs the same code as the menus).
    void Toolbar1_ButtonClick(int button);
    void repro_Click();
    void configu_Click();
    void cececo_Click();
    void newpref_Click();
    void nr_Click();
    void inru_Click();
    void canse_Click();
    void exru_Click();
    void impcvs_Click();
    void inform_Click();
    // Not offered in the menus (their entries stay greyed), complete all the same.
    void imph3_Click();
    void iae_Click();
    void permut_Click();
    // The composer for the entry last ticked, or for every ticked contact.
    void ismss_Click();
    void ismsm_Click();
    // Refreshes the credit from the service.
    void aggiorna();
    void he_Click();
    void acqs_Click();
    void guad_Click();
    void chiuso_Click();
    // Refuses commands while a root of the tree is selected; true when the command may run.
    bool archiveGuard() const;
    // Shows a window of the program modal; when it closes, the main window is activated again.
    int showModal(QDialog& window);

    int toolbarValue() const { return m_toolbarValue; }
    void setToolbarValue(int value);
    int panelWidthTwips() const;
    void setPanelWidthTwips(int twips);
    ArchiveBrowser* browser() const { return m_browser; }

    QWidget* Picture2;
    QToolBar* Toolbar1;
    QWidget* Picture1;
    QWidget* Picture3;
    QLabel* Picture4;
    QLabel* Picture5;
    QLabel* Label2;
    QTreeWidget* TreeView1;
    QLabel* Label3;
    QLabel* Label4;
    QTimer* Timer1;

    QAction *fil, *exru, *impcvs, *imph3, *iae, *configu, *permut, *newpref, *chiuso;
    QAction *ru, *nr, *inru, *cececo;
    QAction *modi, *ismss, *ismsm, *canse;
    QAction *geac, *acqs, *repro, *aaa;
    QAction *help, *he, *guad, *inform;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildLeftPanel();
    void Form_Resize();
    void Picture1_Resize();
    void Timer1_Timer();
    void focusMoved();
    void readLayout();
    void openServicePage(const QString& pathAndQuery);
    QTreeWidgetItem* nodeAt(int index) const;
    int indexOf(const QTreeWidgetItem* item) const;

    QSplitter* m_splitter;
    QWidget* m_client;
    ArchiveBrowser* m_browser;
    QPointer<AboutBox> m_about;
    QList<QAction*> m_buttons; // toolbar buttons 1..7
    int m_toolbarValue = 1;
    bool m_activated = false;     // the first activation has run
    bool m_formWasActive = false; // another window of the program had the focus
};
