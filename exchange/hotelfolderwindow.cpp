#include "exchange/hotelfolderwindow.h"

#include "core/session.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "windows/handler.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

namespace {

QString folderFile(const QString& appFolder) {
    return QDir(appFolder).filePath(QStringLiteral("persorso"));
}

// In Windows-1252 when the folder fits it, else in UTF-8 with a byte-order mark, so a folder
// name never comes back with "?" in it.
bool storeFolder(const QString& file, const QString& folder) {
    if (platform::TextFile::encodeExactly(folder))
        return platform::TextFile::replaceLines(file, {folder});
    QSaveFile out(file);
    const QByteArray data = "\xEF\xBB\xBF" + folder.toUtf8() + "\r\n";
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size())
        return false;
    return out.commit();
}

} // namespace

HotelFolderWindow::HotelFolderWindow(Session& session, QWidget* parent)
    : QDialog(parent)
    , m_session(session)
    , m_archiveLabel(new QLabel(QStringLiteral("Archivio Ericsoft"), this))
    , m_folderEdit(new QLineEdit(this))
    , m_chooseButton(
          platform::iconButton(this, "Command1", "cerca", QStringLiteral("Scegli cartella")))
    , m_closeButton(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi"))) {
    setObjectName(QStringLiteral("Form13"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Imposta Archivi Ericsoft"));
    platform::nameControls({{m_archiveLabel, "Label1"}, {m_folderEdit, "Label2"}});
    m_folderEdit->setReadOnly(true);
    m_archiveLabel->setBuddy(m_folderEdit);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_chooseButton);
    buttons->addWidget(m_closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_archiveLabel);
    layout->addWidget(m_folderEdit);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    handler::onClick(m_chooseButton, [this] { chooseHotelFolder(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { closeHotelFolder(); });
    loadHotelFolder();
}

void HotelFolderWindow::loadHotelFolder() {
    if (const auto line = platform::TextFile::readFirstLine(folderFile(m_session.appFolder))) {
        m_session.hotelFolder = *line;
        m_folderEdit->setText(QDir::toNativeSeparators(*line));
    }
}

void HotelFolderWindow::chooseHotelFolder() {
    const auto folder =
        platform::folderName(QStringLiteral("Select folder"), m_session.hotelFolder);
    if (!folder || folder->isEmpty())
        return;
    m_session.hotelFolder = *folder;
    m_folderEdit->setText(QDir::toNativeSeparators(*folder));
    if (!storeFolder(folderFile(m_session.appFolder), *folder))
        platform::MsgBox(QStringLiteral("Impossibile salvare la cartella nel file persorso: "
                                        "andrà scelta di nuovo al prossimo avvio."),
                         platform::Icon::Exclamation);
}

void HotelFolderWindow::closeHotelFolder() {
    close();
}
