#pragma once

#include <QDialog>

struct Session;

class QLabel;
class QLineEdit;
class QPushButton;

// Where the hotel program keeps its tables: the folder, chosen and stored in persorso.
class HotelFolderWindow final : public QDialog {
    Q_OBJECT
    Session& m_session;

public:
    explicit HotelFolderWindow(Session& session, QWidget* parent = nullptr);

    void loadHotelFolder();
    void chooseHotelFolder();
    void closeHotelFolder();

private:
    QLabel* m_archiveLabel;
    QLineEdit* m_folderEdit;
    QPushButton* m_chooseButton;
    QPushButton* m_closeButton;
};
