#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <vector>

// Rows of an archive's fields as the file stores them (UTF-8), in the order they are asked
// for: one buffer for all their bytes, so that a file can be written from them without a
// text per field.
class StoredRows final {
public:
    explicit StoredRows(int columns)
        : m_columns(columns) {}

    int columns() const { return m_columns; }
    qsizetype size() const { return static_cast<qsizetype>(m_order.size()); }
    bool isEmpty() const { return m_order.empty(); }
    // The field as stored; a null field reads as empty.
    QByteArrayView field(qsizetype row, int column) const;
    // The row's fields as texts; the stored blank of an empty field stays " ".
    QStringList texts(qsizetype row) const;

    // Filling: the rows as read (any order), then the order they are handed on in.
    // Returns the index of the row begun.
    qsizetype beginRow();
    void addField(QByteArrayView utf8);
    // The rows read, by their index from beginRow(), in the order to hand on.
    void setOrder(std::vector<qsizetype> order) { m_order = std::move(order); }

private:
    int m_columns;
    QByteArray m_bytes;
    std::vector<qsizetype> m_ends;  // where each field ends in m_bytes, row after row
    std::vector<qsizetype> m_order; // row index as read, in the order handed on
};
