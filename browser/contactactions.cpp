#include "browser/contactactions.h"

#include "core/twips.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
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

#include <algorithm>
#include <iterator>

namespace {

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

ContactActions::ContactActions(const Entry& entry, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_outerFrame(new QFrame(this))
    , m_contactFrame(new QFrame(m_outerFrame))
    , m_deleteFrame(new QFrame(m_outerFrame))
    , m_editLabel(entryLabel("Label1", " Modifica Contatto", m_contactFrame))
    , m_composeLabel(entryLabel("Label2", " Invia SMS singolo", m_contactFrame))
    , m_mailLabel(entryLabel("Label3", " Invia Email", m_contactFrame))
    , m_excludeLabel(entryLabel("Label7", " Escludi dai messaggi", m_contactFrame))
    , m_mailSeparatorFrame(line("Line1", m_contactFrame))
    , m_deleteTickedLabel(entryLabel("Label4", " Cancella Spuntati", m_deleteFrame))
    , m_restoreTickedLabel(entryLabel("Label5", " Ripristina Spuntati", m_deleteFrame))
    , m_reportLabel(entryLabel("Label6", " Esito invio", m_deleteFrame))
    , m_deleteSeparatorFrame(line("Line2", m_outerFrame))
    , m_entry(entry) {
    setObjectName(QStringLiteral("Form1"));
    setProperty("quilletForm", true);
    platform::nameControls(
        {{m_outerFrame, "Frame1"}, {m_contactFrame, "Frame2"}, {m_deleteFrame, "Frame3"}});
    m_outerFrame->setFrameStyle(QFrame::Panel | QFrame::Raised);

    auto* first = new QVBoxLayout(m_contactFrame);
    first->setContentsMargins(0, 0, 0, 0);
    first->setSpacing(0);
    first->addWidget(m_editLabel);
    first->addWidget(m_composeLabel);
    first->addWidget(m_mailSeparatorFrame);
    first->addWidget(m_mailLabel);
    first->addWidget(m_excludeLabel);
    auto* last = new QVBoxLayout(m_deleteFrame);
    last->setContentsMargins(0, 0, 0, 0);
    last->setSpacing(0);
    last->addWidget(m_deleteTickedLabel);
    last->addWidget(m_restoreTickedLabel);
    last->addWidget(m_reportLabel);
    m_restoreTickedLabel->setVisible(m_entry.archive == store::ArchiveKind::Deleted);
    m_reportLabel->setVisible(m_entry.archive == store::ArchiveKind::Sent);
    auto* panel = new QVBoxLayout(m_outerFrame);
    panel->setContentsMargins(2, 2, 2, 2);
    panel->setSpacing(0);
    panel->addWidget(m_contactFrame);
    panel->addWidget(m_deleteSeparatorFrame);
    panel->addWidget(m_deleteFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_outerFrame);
    setMinimumWidth(twips::toPixels(2200));

    QPalette face = palette();
    face.setColor(QPalette::Window, systemColor(QPalette::Button));
    setPalette(face);
    for (QLabel* entry : {m_editLabel, m_composeLabel, m_mailLabel, m_deleteTickedLabel,
                          m_restoreTickedLabel, m_reportLabel, m_excludeLabel}) {
        entry->installEventFilter(this);
        paint(entry, systemColor(QPalette::Button), systemColor(QPalette::ButtonText));
    }
    paintEntries();
}

void ContactActions::paintEntries() {
    const QColor text = forContact() ? systemColor(QPalette::ButtonText)
                                     : systemColor(QPalette::WindowText, QPalette::Disabled);
    for (QLabel* entry : {m_editLabel, m_composeLabel, m_mailLabel, m_excludeLabel})
        paint(entry, systemColor(QPalette::Button), text);
}

bool ContactActions::forContact() const {
    return m_entry.isContact();
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
            closeOnDeactivation();
    }
    return QDialog::event(event);
}

void ContactActions::closeOnDeactivation() {
    close();
}

bool ContactActions::eventFilter(QObject* watched, QEvent* event) {
    static void (ContactActions::*const moves[])() = {
        &ContactActions::hoverEdit,   &ContactActions::hoverCompose, &ContactActions::hoverMail,
        &ContactActions::hoverDelete, &ContactActions::hoverRestore, &ContactActions::hoverReport,
        &ContactActions::hoverExclude};
    const QLabel* entries[] = {m_editLabel,         m_composeLabel,       m_mailLabel,
                               m_deleteTickedLabel, m_restoreTickedLabel, m_reportLabel,
                               m_excludeLabel};
    for (int i = 0; i < 7; ++i) {
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
    case 3:
        deleteTickedEntries();
        break;
    case 4:
        restoreTickedEntries();
        break;
    case 6:
        excludeContact();
        break;
    default:
        showSendReport();
        break;
    }
}

void ContactActions::hoverEdit() {
    hover(m_editLabel);
}
void ContactActions::hoverCompose() {
    hover(m_composeLabel);
}
void ContactActions::hoverMail() {
    hover(m_mailLabel);
}
void ContactActions::hoverExclude() {
    hover(m_excludeLabel);
}
void ContactActions::hoverDelete() {
    hover(m_deleteTickedLabel);
}
void ContactActions::hoverRestore() {
    hover(m_restoreTickedLabel);
}
void ContactActions::hoverReport() {
    hover(m_reportLabel);
}

// The entry under the pointer is highlighted; the others go back to plain. On a message only
// the archive entries light up.
void ContactActions::hover(QLabel* entry) {
    const bool contact = forContact();
    const QLabel* archiveEntries[] = {m_deleteTickedLabel, m_restoreTickedLabel, m_reportLabel};
    const bool anyArchive = std::find(std::begin(archiveEntries), std::end(archiveEntries),
                                      entry) != std::end(archiveEntries);
    if (!anyArchive && !contact)
        return;
    paint(entry, systemColor(QPalette::Highlight), Qt::white);
    for (QLabel* other : {m_editLabel, m_composeLabel, m_mailLabel, m_deleteTickedLabel,
                          m_restoreTickedLabel, m_reportLabel, m_excludeLabel}) {
        const bool plainOnMessage =
            other == m_deleteTickedLabel || other == m_restoreTickedLabel || other == m_reportLabel;
        if (other != entry && (contact || plainOnMessage))
            paint(other, systemColor(QPalette::Button), systemColor(QPalette::ButtonText));
    }
}

void ContactActions::editContact() {
    if (!forContact())
        return;
    emit editRequested();
    close();
}

void ContactActions::composeToContact() {
    if (!forContact())
        return;
    // Out of sight at once; closed once the composer is done with.
    const QScopedValueRollback busy(m_busy, true);
    hide();
    emit composeRequested();
    close();
}

void ContactActions::mailContact() {
    if (!forContact())
        return;
    const QScopedValueRollback busy(m_busy, true);
    if (QWidget* main = parentWidget())
        main->window()->setWindowState(main->window()->windowState() | Qt::WindowMinimized);
    // The contact editor stores one blank for no address: then "mailto:" alone.
    platform::openUrl(QUrl(QStringLiteral("mailto:") + m_entry.detail.trimmed()));
    close();
}

void ContactActions::excludeContact() {
    if (!forContact())
        return;
    const QScopedValueRollback busy(m_busy, true);
    hide();
    emit excludeRequested();
    close();
}

void ContactActions::deleteTickedEntries() {
    const QScopedValueRollback busy(m_busy, true);
    emit deleteTickedRequested();
    close();
}

void ContactActions::restoreTickedEntries() {
    if (m_entry.archive != store::ArchiveKind::Deleted)
        return;
    const QScopedValueRollback busy(m_busy, true);
    emit restoreTickedRequested();
    close();
}

void ContactActions::showSendReport() {
    if (m_entry.archive != store::ArchiveKind::Sent)
        return;
    const QScopedValueRollback busy(m_busy, true);
    hide();
    emit reportRequested();
    close();
}
