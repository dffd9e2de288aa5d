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

private:
    QLabel* m_logoLabel;
    QLabel* m_versionLabel;
    QLabel* m_addressLabel; // postal address
    QLabel* m_emailLabel;
    QLabel* m_webLabel;
    QPushButton* m_closeButton;
};
