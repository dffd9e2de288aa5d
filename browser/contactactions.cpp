#include "browser/contactactions.h"

#include "app/appstate.h"
#include "app/mainwindow.h"
#include "app/twips.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "browser/deletion.h"
#include "contacts/contacteditor.h"
#include "messaging/composer.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/waitcursor.h"
#include "store/archive.h"
#include "windows/handler.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QChar selectedKind() {
    const MainWindow* main = MainWindow::instance();
    const QString key = main ? main->selectedKey() : QString();
    return key.isEmpty() ? QChar() : key.at(0);
}

QColor systemColor(QPalette::ColorRole role, QPalette::ColorGroup group = QPalette::Active) {
    return QApplication::palette().color(group, role);
}

QLabel* entryLabel(const char* name, const char* caption, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QLatin1String(name));
    label->setAutoFillBackground(true);
    label->setMouseTracking(true);
    label->setMinimumHeight(twips::toPixels(330));
    return label;
}

QFrame* line(const char* name, QWidget* parent) {
    auto* l = new QFrame(parent);
    l->setObjectName(QLatin1String(name));
    l->setFrameShape(QFrame::HLine);
    l->setFrameShadow(QFrame::Sunken);
    return l;
}

} // namespace

ContactActions::ContactActions(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , Frame1(new QFrame(this))
    , Frame2(new QFrame(Frame1))
    , Frame3(new QFrame(Frame1))
    , Label1(entryLabel("Label1", " Modifica Contatto", Frame2))
    , Label2(entryLabel("Label2", " Invia SMS singolo", Frame2))
    , Label3(entryLabel("Label3", " Invia Email", Frame2))
    , Line1(line("Line1", Frame2))
    , Label4(entryLabel("Label4", " Cancella Spuntati", Frame3))
    , Line2(line("Line2", Frame1)) {
    setObjectName(QStringLiteral("Form1"));
    setProperty("quilletForm", true);
    platform::nameControls({{Frame1, "Frame1"}, {Frame2, "Frame2"}, {Frame3, "Frame3"}});
    Frame1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto* first = new QVBoxLayout(Frame2);
    first->setContentsMargins(0, 0, 0, 0);
    first->setSpacing(0);
    first->addWidget(Label1);
    first->addWidget(Label2);
    first->addWidget(Line1);
    first->addWidget(Label3);
    auto* last = new QVBoxLayout(Frame3);
    last->setContentsMargins(0, 0, 0, 0);
    last->addWidget(Label4);
    auto* panel = new QVBoxLayout(Frame1);
    panel->setContentsMargins(2, 2, 2, 2);
    panel->setSpacing(0);
    panel->addWidget(Frame2);
    panel->addWidget(Line2);
    panel->addWidget(Frame3);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Frame1);
    setMinimumWidth(twips::toPixels(2200));

    QPalette face = palette();
    face.setColor(QPalette::Window, systemColor(QPalette::Button));
    setPalette(face);
    for (QLabel* entry : {Label1, Label2, Label3, Label4})
        entry->installEventFilter(this);
    paint(Label4, systemColor(QPalette::Button), systemColor(QPalette::ButtonText));
    paintEntries();
}

void ContactActions::paintEntries() {
    const QColor text = forContact() ? systemColor(QPalette::ButtonText)
                                     : systemColor(QPalette::WindowText, QPalette::Disabled);
    for (QLabel* entry : {Label1, Label2, Label3})
        paint(entry, systemColor(QPalette::Button), text);
}

bool ContactActions::forContact() const {
    return selectedKind() == QLatin1Char('r');
}

void ContactActions::paint(QLabel* entry, const QColor& background, const QColor& text) {
    QPalette p = entry->palette();
    p.setColor(QPalette::Window, background);
    p.setColor(QPalette::WindowText, text);
    entry->setPalette(p);
}

bool ContactActions::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        m_deactivated = false;
    } else if (event->type() == QEvent::WindowDeactivate) {
        if (m_busy) // a box or window of the command took the activation
            m_deactivated = true;
        else
            Form_Deactivate();
    }
    return QDialog::event(event);
}

void ContactActions::Form_Deactivate() {
    close();
}

bool ContactActions::eventFilter(QObject* watched, QEvent* event) {
    static void (ContactActions::*const moves[])() = {
        &ContactActions::hoverEdit, &ContactActions::hoverCompose, &ContactActions::hoverMail,
        &ContactActions::hoverDelete};
    const QLabel* entries[] = {Label1, Label2, Label3, Label4};
    for (int i = 0; i < 4; ++i) {
        if (watched != entries[i])
            continue;
        if (event->type() == QEvent::MouseMove) {
            (this->*moves[i])();
        } else if (event->type() == QEvent::MouseButtonRelease &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            handler::run([this, i] { clickEntry(i); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ContactActions::clickEntry(int entry) {
    switch (entry) {
    case 0:
        editContact();
        break;
    case 1:
        composeToContact();
        break;
    case 2:
        mailContact();
        break;
    default:
        deleteTickedEntries();
        break;
    }
}

void ContactActions::hoverEdit() {
    hover(Label1);
}
void ContactActions::hoverCompose() {
    hover(Label2);
}
void ContactActions::hoverMail() {
    hover(Label3);
}
void ContactActions::hoverDelete() {
    hover(Label4);
}

// The entry under the pointer is highlighted; on a contact the others go back to plain.
void ContactActions::hover(QLabel* entry) {
    const bool contact = forContact();
    if (entry != Label4 && !contact)
        return;
    paint(entry, systemColor(QPalette::Highlight), Qt::white);
    if (!contact)
        return;
    for (QLabel* other : {Label1, Label2, Label3, Label4})
        if (other != entry)
            paint(other, systemColor(QPalette::Button), systemColor(QPalette::ButtonText));
}

void ContactActions::editContact() {
    if (!forContact())
        return;
    appState().modifica = 1;
    auto* editor = new ContactEditor(MainWindow::instance());
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->show();
    close();
}

void ContactActions::composeToContact() {
    if (!forContact())
        return;
    const auto& state = appState();
    // Out of sight at once; closed once the composer is done with.
    const QScopedValueRollback busy(m_busy, true);
    hide();
    Composer composer(MainWindow::instance());
    composer.Label23->setText(QStringLiteral("0"));
    composer.Label18->setText(state.numeroScelto);
    composer.Label2->setText(state.cognomeScelto);
    composer.Label3->setText(QStringLiteral("Cellulare"));
    composer.Text2->setVisible(true);
    composer.Command4->setVisible(true);
    MainWindow::instance()->showModal(composer);
    close();
}

void ContactActions::mailContact() {
    if (!forContact())
        return;
    const QScopedValueRollback busy(m_busy, true);
    if (MainWindow* main = MainWindow::instance())
        main->setWindowState(main->windowState() | Qt::WindowMinimized);
    auto& state = appState();
    // The contact editor stores one blank for no address: then "mailto:" alone.
    platform::openUrl(QUrl(QStringLiteral("mailto:") + state.dettaglioScelto.trimmed()));
    state.dettaglioScelto.clear();
    close();
}

void ContactActions::deleteTickedEntries() {
    ArchiveBrowser* browser = ArchiveBrowser::instance();
    const MainWindow* main = MainWindow::instance();
    if (!browser || !main)
        return;
    const QScopedValueRollback busy(m_busy, true);
    browser->lvw1->viewport()->update();
    if (platform::MsgBox(QStringLiteral("Si desidera Cancellare i contatti selezionati? "),
                         platform::Icon::None, platform::Buttons::YesNo) != platform::Answer::Yes) {
        browser->setSelectAll(false);
        if (m_deactivated)
            close();
        return;
    }

    auto& state = appState();
    const QChar kind = selectedKind();
    const ArchiveModel& model = *browser->model();
    const bool contacts = kind == QLatin1Char('r');
    QList<deletion::Entry> entries;
    for (int row : model.checkedRows()) {
        // The texts the list click would take from the row.
        if (contacts)
            entries.append({model.text(row, 1), model.text(row, 3), {}, model.text(row, 4)});
        else
            entries.append(
                {model.text(row, 1), model.text(row, 2), model.text(row, 3), model.text(row, 4)});
    }
    deletion::Outcome outcome;
    if (!entries.isEmpty() && !store::archive::tableForKind(kind).isEmpty()) {
        const platform::WaitCursor wait;
        state.corrente.open(store::archive::addressBookPath(state.appFolder, main->selectedText()));
        const bool recycle = browser->Label2->text() == QStringLiteral("SMS Inviati");
        outcome = deletion::removeEntries(*state.corrente.db, kind, entries, recycle);
    }
    if (outcome.failure) {
        platform::MsgBox(QStringLiteral("La cancellazione si è interrotta per un errore "
                                        "dell'archivio.\nVoci cancellate: %1 su %2; le altre "
                                        "sono rimaste dove erano.\n\n%3")
                             .arg(outcome.deleted)
                             .arg(entries.size())
                             .arg(outcome.failure->message()),
                         platform::Icon::Critical);
    }
    browser->refreshList();
    browser->lvw1->setVisible(true);
    browser->setSelectAll(false);
    close();
}
