#pragma once

#include "exchange/csvimport.h"

#include <QDialog>

#include <array>

class QComboBox;
class QLabel;
class QLayout;
class QPushButton;
class QStandardItemModel;
class QTableView;

// Asks which column of a contact file holds each field of a contact, when the column names do
// not tell which one holds the mobile number. The file's first contacts are shown below the
// choices, the chosen columns marked. Opened with exec(); columns() is the answer.
class ColumnMatchWindow final : public QDialog {
    Q_OBJECT
public:
    explicit ColumnMatchWindow(const csvimport::Preview& preview, QWidget* parent = nullptr);

    // The columns chosen (-1: none).
    csvimport::Columns columns() const;

    void importFile(); // accepts, unless one column is chosen for two fields

private:
    QLayout* buildFieldChoices(const csvimport::Preview& preview);
    void buildPreview(const csvimport::Preview& preview);
    QLayout* buildButtons();
    void connectControls();
    void markChoices();
    qsizetype chosen(int field) const;

    QStringList m_names; // what each column of the file is called here
    QLabel* m_explanationLabel;
    std::array<QLabel*, 4> m_fieldLabels;
    std::array<QComboBox*, 4> m_fieldCombos; // Nome, Cognome, Cellulare, Posta elettronica
    QTableView* m_previewTable;
    QStandardItemModel* m_previewModel;
    QPushButton* m_importButton;
    QPushButton* m_cancelButton;
};
