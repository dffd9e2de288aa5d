#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QProgressBar;

// The wait box of the customer import from the hotel program, with its progress.
class ImportProgress final : public QDialog {
    Q_OBJECT
public:
    explicit ImportProgress(QWidget* parent = nullptr);
    void setProgress(qint64 done, qint64 total);

private:
    QFrame* m_waitFrame;
    QLabel* m_waitLabel;
    QProgressBar* m_progressBar;
};
