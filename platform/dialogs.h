#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QWidget;

// Every question and message to the user goes through here. Tests install a DialogScript:
// then nothing is shown, each call is recorded and answered from the script.
namespace platform {

enum class Icon { None, Critical, Exclamation, Information, Question };
// OkReport: "OK" and "Mostra esito" (answered Report) after a send.
enum class Buttons { Ok, OkCancel, YesNo, OkReport };
enum class Answer { Ok, Cancel, Yes, No, Report };

// Shows a modal message box; title "Quillet" when none is given.
Answer MsgBox(const QString& text, Icon icon = Icon::None, Buttons buttons = Buttons::Ok,
              const QString& title = {});

// Asks for one line of text; std::nullopt when the user cancels.
std::optional<QString> InputBox(const QString& prompt, const QString& title = {},
                                const QString& defaultText = {});

// File dialogs; std::nullopt when the user cancels. `filter` in Qt's form
// ("File di testo (*.txt);;Tutti i file (*)"). The save dialog asks before it overwrites.
std::optional<QString> saveFileName(const QString& title, const QString& directory,
                                    const QString& filter);
std::optional<QString> openFileName(const QString& title, const QString& directory,
                                    const QString& filter);
std::optional<QString> folderName(const QString& title, const QString& directory);

// Opens a web page in the system browser, or a mailto: address in the mail program.
// Returns false when nothing could open it (the user is told).
bool openUrl(const QUrl& url);

// The parent for dialogs: the active window, or the main window.
void setDialogParent(QWidget* parent);

// What the program showed, as a test reads it back.
struct Shown {
    enum class Kind { Message, Input, SaveFile, OpenFile, Folder, Url } kind;
    QString text; // message text, prompt, dialog title or URL
    QString title;
    Icon icon = Icon::None;
    Buttons buttons = Buttons::Ok;
    QString directory = {}; // file dialogs: the starting folder or file
    QString filter = {};    // file dialogs: the filter
};

// Answers for the scripted dialogs. While one exists, no dialog is shown. Answers are taken
// in order; a call with no answer left gets the "safe" answer (OK for a plain message,
// Cancel/No/cancel otherwise).
class DialogScript final {
public:
    DialogScript();
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    DialogScript& answer(Answer a);
    DialogScript& answerText(std::optional<QString> text); // InputBox and the file dialogs
    DialogScript& answerUrl(bool opened);                  // openUrl's result (default true)

    const QList<Shown>& shown() const { return m_shown; }
    QStringList messages() const; // texts of the message boxes shown, in order
    void clear();

private:
    friend struct ScriptAccess;
    QList<Shown> m_shown;
    QList<Answer> m_answers;
    QList<std::optional<QString>> m_texts;
    QList<bool> m_urls;
};

} // namespace platform
