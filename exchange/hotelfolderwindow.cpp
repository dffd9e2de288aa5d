#include "exchange/hotelfolderwindow.h"

#include "app/session.h"
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
    , Label1(new QLabel(QStringLiteral("Archivio Ericsoft"), this))
    , Label2(new QLineEdit(this))
    , Command1(platform::iconButton(this, "Command1", "cerca", QStringLiteral("Scegli cartella")))
    , Command2(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi"))) {
    setObjectName(QStringLiteral("Form13"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Imposta Archivi Ericsoft"));
    platform::nameControls({{Label1, "Label1"}, {Label2, "Label2"}});
    Label2->setReadOnly(true);
    Label1->setBuddy(Label2);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    handler::onClick(Command1, [this] { chooseHotelFolder(); });
    connect(Command2, &QPushButton::clicked, this, [this] { closeHotelFolder(); });
    loadHotelFolder();
}

void HotelFolderWindow::loadHotelFolder() {
    if (const auto line = platform::TextFile::readFirstLine(folderFile(m_session.appFolder))) {
        m_session.hotelFolder = *line;
        Label2->setText(QDir::toNativeSeparators(*line));
    }
}

void HotelFolderWindow::chooseHotelFolder() {
    const auto folder =
        platform::folderName(QStringLiteral("Select folder"), m_session.hotelFolder);
    if (!folder || folder->isEmpty())
        return;
    m_session.hotelFolder = *folder;
    Label2->setText(QDir::toNativeSeparators(*folder));
    if (!storeFolder(folderFile(m_session.appFolder), *folder))
        platform::MsgBox(QStringLiteral("Impossibile salvare la cartella nel file persorso: "
                                        "andrà scelta di nuovo al prossimo avvio."),
                         platform::Icon::Exclamation);
}

void HotelFolderWindow::closeHotelFolder() {
    close();
}
