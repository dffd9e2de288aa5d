#pragma once

#include "messaging/textfields.h"

#include <QWidget>

#include <memory>

class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace store {
class Database;
}

// The composer's fields: "Inserisci campo" puts {Nome}, {Cognome} or {Cellulare} in the text,
// "Anteprima" shows the first three texts filled for their recipients. It reads the address
// book the recipients come from, on its own connection, the first time a text has fields.
class FieldsPanel final : public QWidget {
    Q_OBJECT
public:
    FieldsPanel(QString bookPath, QWidget* parent);
    ~FieldsPanel() override;

    QPlainTextEdit* preview() const { return m_preview; }
    // The text filled for each number; nothing when it has no fields.
    QList<textfields::Filled> fill(const QString& text, const QStringList& numbers);
    // The preview shows the first three of these (or the text itself when there are none).
    void showPreview(const QString& text, const QList<textfields::Filled>& filled);

signals:
    void fieldChosen(const QString& field);
    void previewToggled();

private:
    QString m_bookPath;
    QToolButton* m_insertButton;
    QPushButton* m_previewButton;
    QPlainTextEdit* m_preview;
    std::unique_ptr<store::Database> m_book;
    std::unique_ptr<textfields::People> m_people;
};
