#pragma once

#include "windows/waitbox.h"

class QFrame;
class QLabel;

// The wait box of the customer import from the hotel program, with its progress.
class ImportProgress final : public WorkBox {
    Q_OBJECT
public:
    explicit ImportProgress(QWidget* parent = nullptr);

private:
    QFrame* m_waitFrame;
    QLabel* m_waitLabel;
};
