#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The about box: the program's version and who makes it.
class AboutBox final : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    void closeAbout();

    QLabel* Image1;
    QLabel* Label1; // version
    QLabel* Label2; // postal address
    QLabel* Label3; // e-mail
    QLabel* Label4; // web address
    QPushButton* Command1;
};
