#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;
class QUrl;

// The program's help: HTML pages in the application folder's help folder, with an index of
// keys. A search box lists the keys that begin with what the user types; choosing a key
// shows its page.
namespace platform {

class HelpWindow final : public QWidget {
    Q_OBJECT
public:
    // helpIndex: the index file (lines "key<TAB>page.html", Windows-1252), pages beside it;
    // "page.html#name" opens the page at that anchor.
    explicit HelpWindow(const QString& helpIndex, QWidget* parent = nullptr);

    // Shows the window `held` points to (a new one when it is gone or shows another index) with
    // its search (key prefix `key`, empty: all keys); `held` then points to it.
    static HelpWindow* showSearch(QPointer<HelpWindow>& held, const QString& helpIndex,
                                  const QString& key = {});

    QStringList visibleKeys() const;
    // The file name of the page shown (as the index names it); empty when none is.
    QString currentPage() const;

private:
    void filter(const QString& prefix);
    void showKey(const QString& key);
    void loadIndex();
    void showPage(const QString& page, const QString& fragment = {});
    void showMessage(const QString& text);
    void followLink(const QUrl& link);
    void showChosen();

    QString m_indexPath;
    QString m_currentPage;
    QString m_folder;
    QList<QPair<QString, QString>> m_index;
    QLineEdit* m_search;
    QListWidget* m_keys;
    QTextBrowser* m_page;
};

} // namespace platform
