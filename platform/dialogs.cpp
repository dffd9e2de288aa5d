#include "platform/dialogs.h"
#include "platform/dialogsetup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

namespace platform {

namespace {

DialogScript* currentScript = nullptr;
QPointer<QWidget> mainParent;

const QString programTitle = QStringLiteral("Quillet");

QString titleOrDefault(const QString& title) {
    return title.isEmpty() ? programTitle : title;
}

// A real dialog needs a widget application on its own thread and a screen to show on.
bool canShowDialogs() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread())
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != u"offscreen" && platform != u"minimal";
}

void warnNotShown(const char* what, const QString& text) {
    qWarning().noquote() << "platform:" << what
                         << "not shown (no display, no DialogScript):" << text;
}

// The hourglass would hide that the program waits for the user: off while a dialog is up.
class CursorPause final {
public:
    CursorPause() {
        while (const QCursor* cursor = QGuiApplication::overrideCursor()) {
            m_saved.prepend(*cursor);
            QGuiApplication::restoreOverrideCursor();
        }
    }
    ~CursorPause() {
        for (const QCursor& cursor : std::as_const(m_saved))
            QGuiApplication::setOverrideCursor(cursor);
    }
    CursorPause(const CursorPause&) = delete;
    CursorPause& operator=(const CursorPause&) = delete;

private:
    QList<QCursor> m_saved;
};

QString suffixOfFilter(const QString& filter) {
    // "File di testo (*.csv);;..." -> "csv"
    const QString first = filter.section(QStringLiteral(";;"), 0, 0);
    const qsizetype open = first.indexOf(u'(');
    const qsizetype close = first.indexOf(u')', open);
    if (open < 0 || close < 0)
        return {};
    const QString pattern =
        first.mid(open + 1, close - open - 1).section(u' ', 0, 0, QString::SectionSkipEmpty);
    if (!pattern.startsWith(QStringLiteral("*.")))
        return {};
    const QString suffix = pattern.mid(2);
    for (const QChar c : suffix) {
        if (!c.isLetterOrNumber())
            return {};
    }
    return suffix;
}

} // namespace

struct ScriptAccess {
    static Answer message(DialogScript& script, const Shown& shown) {
        script.m_shown.append(shown);
        if (!script.m_answers.isEmpty())
            return script.m_answers.takeFirst();
        return detail::safeAnswer(shown.buttons);
    }

    static std::optional<QString> text(DialogScript& script, const Shown& shown) {
        script.m_shown.append(shown);
        if (!script.m_texts.isEmpty())
            return script.m_texts.takeFirst();
        return std::nullopt;
    }

    static bool url(DialogScript& script, const Shown& shown) {
        script.m_shown.append(shown);
        if (!script.m_urls.isEmpty())
            return script.m_urls.takeFirst();
        return true;
    }
};

namespace detail {

Answer safeAnswer(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkReport:
        return Answer::Ok;
    case Buttons::OkCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::No;
    }
    return Answer::Cancel;
}

void setupMessageBox(QMessageBox& box, const QString& text, Icon icon, Buttons buttons,
                     const QString& title) {
    box.setWindowTitle(titleOrDefault(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::Exclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }

    QMessageBox::StandardButton first = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        escape = QMessageBox::Cancel;
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        first = QMessageBox::Yes;
        escape = QMessageBox::No;
        break;
    case Buttons::OkReport:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Open);
        break;
    }
    const std::pair<QMessageBox::StandardButton, QString> texts[] = {
        {QMessageBox::Ok, QStringLiteral("OK")},
        {QMessageBox::Cancel, QStringLiteral("Annulla")},
        {QMessageBox::Yes, QStringLiteral("Sì")},
        {QMessageBox::No, QStringLiteral("No")},
        {QMessageBox::Open, QStringLiteral("Mostra esito")},
    };
    for (const auto& [which, label] : texts) {
        if (QAbstractButton* button = box.button(which))
            button->setText(label);
    }
    box.setDefaultButton(first);
    box.setEscapeButton(escape);
}

Answer answerOf(const QMessageBox& box, Buttons buttons) {
    QAbstractButton* clicked = box.clickedButton();
    switch (clicked ? box.standardButton(clicked) : QMessageBox::NoButton) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Open:
        return Answer::Report;
    default:
        return safeAnswer(buttons);
    }
}

void setupInputDialog(QInputDialog& dialog, const QString& prompt, const QString& title,
                      const QString& defaultText) {
    dialog.setWindowTitle(titleOrDefault(title));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Annulla"));
}

void setupFileDialog(QFileDialog& dialog, FileDialogKind kind, const QString& title,
                     const QString& directory, const QString& filter) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowTitle(titleOrDefault(title));
    if (!directory.isEmpty()) {
        const QFileInfo start(directory);
        if (start.isDir()) {
            dialog.setDirectory(start.absoluteFilePath());
        } else {
            // A file name: open on its folder, or the nearest one that still exists.
            QString folder = start.absolutePath();
            while (!QFileInfo(folder).isDir() && QFileInfo(folder).absolutePath() != folder)
                folder = QFileInfo(folder).absolutePath();
            dialog.setDirectory(folder);
            if (kind != FileDialogKind::Folder && folder == start.absolutePath())
                dialog.selectFile(start.fileName());
        }
    }
    if (!filter.isEmpty() && kind != FileDialogKind::Folder)
        dialog.setNameFilters(filter.split(QStringLiteral(";;"), Qt::SkipEmptyParts));

    switch (kind) {
    case FileDialogKind::Save:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // We ask ourselves, through MsgBox.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setDefaultSuffix(suffixOfFilter(filter));
        dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Nome file:"));
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Salva"));
        break;
    case FileDialogKind::Open:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Nome file:"));
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Apri"));
        break;
    case FileDialogKind::Folder:
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Cartella:"));
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Scegli"));
        break;
    }
    // After the modes: changing them puts back Qt's own labels.
    dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Cerca in:"));
    dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Tipo file:"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Annulla"));
}

QString overwriteQuestion(const QString& path) {
    return QStringLiteral("Il file %1 esiste già.\nSostituirlo?").arg(QFileInfo(path).fileName());
}

QWidget* dialogParent() {
    if (QWidget* active = QApplication::activeWindow())
        return active;
    return mainParent.data();
}

} // namespace detail

namespace {

std::optional<QString> runFileDialog(detail::FileDialogKind kind, const QString& title,
                                     const QString& directory, const QString& filter) {
    QFileDialog dialog(detail::dialogParent());
    detail::setupFileDialog(dialog, kind, title, directory, filter);
    CursorPause pause;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.first();
}

std::optional<QString> askFile(detail::FileDialogKind kind, Shown::Kind shownKind,
                               const QString& title, const QString& directory,
                               const QString& filter) {
    if (currentScript) {
        Shown shown{shownKind, title, title};
        shown.directory = directory;
        shown.filter = filter;
        return ScriptAccess::text(*currentScript, shown);
    }
    if (!canShowDialogs()) {
        warnNotShown("file dialog", title);
        return std::nullopt;
    }
    return runFileDialog(kind, title, directory, filter);
}

QString openFailureText(const QUrl& url) {
    if (url.scheme() == u"mailto") {
        const QString address = url.path();
        return (address.isEmpty()
                    ? QStringLiteral("Impossibile aprire il programma di posta elettronica.")
                    : QStringLiteral("Impossibile aprire il programma di posta elettronica per "
                                     "scrivere a %1.")
                          .arg(address)) +
               QStringLiteral("\nVerificare che sia installato un programma di posta.");
    }
    return QStringLiteral("Impossibile aprire la pagina %1.\nVerificare che sia installato un "
                          "browser web.")
        .arg(url.toDisplayString());
}

} // namespace

Answer MsgBox(const QString& text, Icon icon, Buttons buttons, const QString& title) {
    if (currentScript)
        return ScriptAccess::message(*currentScript, Shown{Shown::Kind::Message, text,
                                                           titleOrDefault(title), icon, buttons});
    if (!canShowDialogs()) {
        warnNotShown("message box", text);
        return detail::safeAnswer(buttons);
    }
    QMessageBox box(detail::dialogParent());
    detail::setupMessageBox(box, text, icon, buttons, title);
    CursorPause pause;
    box.exec();
    return detail::answerOf(box, buttons);
}

std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                const QString& defaultText) {
    if (currentScript)
        return ScriptAccess::text(*currentScript,
                                  Shown{Shown::Kind::Input, prompt, titleOrDefault(title)});
    if (!canShowDialogs()) {
        warnNotShown("input box", prompt);
        return std::nullopt;
    }
    QInputDialog dialog(detail::dialogParent());
    detail::setupInputDialog(dialog, prompt, title, defaultText);
    CursorPause pause;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<QString> saveFileName(const QString& title, const QString& directory,
                                    const QString& filter) {
    QString start = directory;
    for (;;) {
        const auto chosen =
            askFile(detail::FileDialogKind::Save, Shown::Kind::SaveFile, title, start, filter);
        if (!chosen || chosen->isEmpty() || !QFileInfo::exists(*chosen))
            return chosen;
        if (MsgBox(detail::overwriteQuestion(*chosen), Icon::Exclamation, Buttons::YesNo, title) ==
            Answer::Yes)
            return chosen;
        // Back to the dialog, on the same file, as the user expects after "No".
        start = *chosen;
    }
}

std::optional<QString> openFileName(const QString& title, const QString& directory,
                                    const QString& filter) {
    return askFile(detail::FileDialogKind::Open, Shown::Kind::OpenFile, title, directory, filter);
}

std::optional<QString> folderName(const QString& title, const QString& directory) {
    return askFile(detail::FileDialogKind::Folder, Shown::Kind::Folder, title, directory, {});
}

bool openUrl(const QUrl& url) {
    bool opened = false;
    if (currentScript) {
        opened = ScriptAccess::url(*currentScript,
                                   Shown{Shown::Kind::Url, url.toString(), programTitle});
    } else if (!canShowDialogs()) {
        warnNotShown("web page or mail program", url.toString());
    } else {
        opened = url.isValid() && !url.isEmpty() && QDesktopServices::openUrl(url);
    }
    if (!opened)
        MsgBox(openFailureText(url), Icon::Critical);
    return opened;
}

void setDialogParent(QWidget* parent) {
    mainParent = parent;
}

DialogScript::DialogScript() {
    if (currentScript)
        qWarning("platform: a DialogScript is already installed; the newer one answers");
    currentScript = this;
}

DialogScript::~DialogScript() {
    if (currentScript == this)
        currentScript = nullptr;
}

DialogScript& DialogScript::answer(Answer a) {
    m_answers.append(a);
    return *this;
}

DialogScript& DialogScript::answerText(std::optional<QString> text) {
    m_texts.append(std::move(text));
    return *this;
}

DialogScript& DialogScript::answerUrl(bool opened) {
    m_urls.append(opened);
    return *this;
}

QStringList DialogScript::messages() const {
    QStringList texts;
    for (const Shown& shown : m_shown) {
        if (shown.kind == Shown::Kind::Message)
            texts.append(shown.text);
    }
    return texts;
}

void DialogScript::clear() {
    m_shown.clear();
    m_answers.clear();
    m_texts.clear();
    m_urls.clear();
}

} // namespace platform
