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

    QLabel* Label1;
    QLineEdit* Label2; // the folder
    QPushButton* Command1;
    QPushButton* Command2;
};
