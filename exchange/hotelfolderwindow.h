#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Where the hotel program keeps its tables: the folder, chosen and stored in persorso.
class HotelFolderWindow final : public QDialog {
    Q_OBJECT
public:
    explicit HotelFolderWindow(QWidget* parent = nullptr);

    void loadHotelFolder();
    void chooseHotelFolder();
    void closeHotelFolder();

    QLabel* Label1;
    QLineEdit* Label2; // the folder
    QPushButton* Command1;
    QPushButton* Command2;
};
