#include "messaging/sendreportmodel.h"

#include <QSet>

SendReportModel::SendReportModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void SendReportModel::setLines(QList<Line> lines) {
    beginResetModel();
    m_lines = std::move(lines);
    endResetModel();
}

QString SendReportModel::counts() const {
    int accepted = 0, refused = 0, notSent = 0, unknown = 0, delivered = 0, excluded = 0;
    bool keyed = false;
    for (const Line& line : m_lines) {
        keyed = keyed || !line.key.isEmpty();
        delivered += line.outcome == Outcome::Accepted && !line.key.isEmpty() &&
                     line.state == store::sendreport::Delivered;
        switch (line.outcome) {
        case Outcome::Accepted:
            ++accepted;
            break;
        case Outcome::Refused:
            ++refused;
            break;
        case Outcome::NotSent:
            ++notSent;
            break;
        case Outcome::Pending:
            ++unknown;
            break;
        case Outcome::Excluded:
            ++excluded;
            break;
        }
    }
    QString text = QStringLiteral("Accettati %1, rifiutati %2, non inviati %3")
                       .arg(accepted)
                       .arg(refused)
                       .arg(notSent);
    if (unknown > 0)
        text += QStringLiteral(", esito sconosciuto %1").arg(unknown);
    if (excluded > 0)
        text += QStringLiteral(", esclusi %1").arg(excluded);
    if (keyed)
        text += QStringLiteral(", consegnati %1").arg(delivered);
    return text;
}

QStringList SendReportModel::numbersToResend() const {
    QStringList numbers;
    QSet<QString> seen;
    for (const Line& line : m_lines) {
        const bool failed = line.outcome == Outcome::Refused || line.outcome == Outcome::NotSent ||
                            (line.outcome == Outcome::Accepted && !line.key.isEmpty() &&
                             (line.state == store::sendreport::NotDelivered ||
                              line.state == store::sendreport::CentreRefused));
        if (failed && !seen.contains(line.number)) {
            seen.insert(line.number);
            numbers.append(line.number);
        }
    }
    return numbers;
}

QString SendReportModel::outcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Accepted:
        return QStringLiteral("Accettato");
    case Outcome::Refused:
        return QStringLiteral("Rifiutato");
    case Outcome::NotSent:
        return QStringLiteral("Non inviato");
    case Outcome::Excluded:
        return QStringLiteral("Escluso");
    case Outcome::Pending:
        break;
    }
    // Nobody knows whether it went; its delivery report may tell.
    return QStringLiteral("Sconosciuto");
}

QString SendReportModel::deliveryText(const Line& line) {
    if ((line.outcome != Outcome::Accepted && line.outcome != Outcome::Pending) ||
        line.key.isEmpty())
        return {};
    switch (line.state) {
    case store::sendreport::Delivered:
        return QStringLiteral("Consegnato");
    case store::sendreport::NotDelivered:
    case store::sendreport::CentreRefused:
        return QStringLiteral("Non consegnato");
    case store::sendreport::AtCentre:
    case store::sendreport::Buffered:
        return QStringLiteral("All'operatore");
    default:
        return QStringLiteral("In attesa");
    }
}

QString SendReportModel::columnTitle(int column) {
    switch (column) {
    case NumberColumn:
        return QStringLiteral("Cellulare");
    case SurnameColumn:
        return QStringLiteral("Cognome");
    case PartColumn:
        return QStringLiteral("SMS");
    case OutcomeColumn:
        return QStringLiteral("Esito");
    case DeliveryColumn:
        return QStringLiteral("Consegna");
    case AnswerColumn:
        return QStringLiteral("Risposta del servizio");
    case TextColumn:
        return QStringLiteral("Testo");
    default:
        return {};
    }
}

int SendReportModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

int SendReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant SendReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_lines.size())
        return {};
    const Line& line = m_lines[index.row()];
    if (role == Qt::ToolTipRole && index.column() == AnswerColumn) // a long answer, whole
        return line.answer;
    if (role == Qt::ToolTipRole && index.column() == TextColumn)
        return line.text;
    if (role == Qt::ToolTipRole && index.column() == DeliveryColumn && !line.stateTime.isEmpty())
        return line.stateText.isEmpty() ? line.stateTime
                                        : line.stateTime + QLatin1Char(' ') + line.stateText;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case NumberColumn:
        return line.number;
    case SurnameColumn:
        return line.surname;
    case PartColumn:
        return line.part;
    case OutcomeColumn:
        return outcomeText(line.outcome);
    case DeliveryColumn:
        return deliveryText(line);
    case AnswerColumn:
        return line.answer;
    case TextColumn:
        return line.text;
    default:
        return {};
    }
}

QVariant SendReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return columnTitle(section);
}
