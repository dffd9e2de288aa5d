#pragma once

#include "store/sendreport.h"

#include <QAbstractTableModel>
#include <QStringList>

// The lines of one send's report as the "Esito invio" window lists them: number, surname,
// part, outcome and the service's answer, in send order.
class SendReportModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using Line = store::sendreport::Line;
    using Outcome = store::sendreport::Outcome;
    enum Column { NumberColumn, SurnameColumn, PartColumn, OutcomeColumn, AnswerColumn, Columns };

    explicit SendReportModel(QObject* parent = nullptr);

    void setLines(QList<Line> lines);
    const QList<Line>& lines() const { return m_lines; }

    // "Accettati 997, rifiutati 3, non inviati 0" (and how many nobody knows, when any).
    QString counts() const;
    // The numbers of the refused and unsent SMS, each once, in send order.
    QStringList numbersToResend() const;

    static QString outcomeText(Outcome outcome);
    static QString columnTitle(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QList<Line> m_lines;
};
