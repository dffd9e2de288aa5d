#pragma once

#include "store/sendreport.h"

#include <QAbstractTableModel>
#include <QStringList>

// The lines of one send's report as the "Esito invio" window lists them: number, surname,
// part, outcome, delivery, the service's answer and the recipient's own text, in send order.
class SendReportModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using Line = store::sendreport::Line;
    using Outcome = store::sendreport::Outcome;
    enum Column {
        NumberColumn,
        SurnameColumn,
        PartColumn,
        OutcomeColumn,
        DeliveryColumn,
        AnswerColumn,
        TextColumn, // the recipient's own text, when the message has fields
        Columns
    };

    explicit SendReportModel(QObject* parent = nullptr);

    void setLines(QList<Line> lines);
    const QList<Line>& lines() const { return m_lines; }

    // "Accettati 997, rifiutati 3, non inviati 0" (and how many nobody knows, when any), then
    // ", consegnati N" when some SMS has a gateway's key.
    QString counts() const;
    // The numbers of the refused, unsent and undelivered SMS, each once, in send order.
    QStringList numbersToResend() const;

    static QString outcomeText(Outcome outcome);
    // "Consegnato", "Non consegnato", "All'operatore" or "In attesa" for an accepted SMS with
    // a key; empty for any other line.
    static QString deliveryText(const Line& line);
    static QString columnTitle(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<Line> m_lines;
};
