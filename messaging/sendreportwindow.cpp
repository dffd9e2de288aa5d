#include "messaging/sendreportwindow.h"

#include "exchange/csvexport.h"
#include "messaging/sendreportmodel.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/waitcursor.h"
#include "store/database.h"
#include "store/sendreport.h"
#include "windows/handler.h"

#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

SendReportWindow::SendReportWindow(const Request& request, QWidget* parent)
    : QDialog(parent)
    , m_countsLabel(new QLabel(this))
    , m_messageLabel(new QLabel(this))
    , m_lineList(new QTreeView(this))
    , m_exportButton(platform::iconButton(this, "Command1", "salvati", QStringLiteral("Esporta")))
    , m_resendButton(platform::iconButton(this, "Command2", "smsmulti",
                                          QStringLiteral("Reinvia ai non riusciti")))
    , m_closeButton(platform::iconButton(this, "Command3", "cancella", QStringLiteral("Chiudi")))
    , m_model(new SendReportModel(this))
    , m_request(request) {
    setObjectName(QStringLiteral("Esito"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Esito invio"));
    platform::nameControls(
        {{m_countsLabel, "Label1"}, {m_messageLabel, "Label2"}, {m_lineList, "lvwEsito"}});

    showMessage();
    buildLineList();
    QLayout* buttons = buildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_countsLabel);
    layout->addWidget(m_messageLabel);
    layout->addWidget(m_lineList, 1);
    layout->addLayout(buttons);
    resize(800, 420);

    handler::onClick(m_exportButton, [this] { exportLines(); });
    handler::onClick(m_resendButton, [this] { resend(); });
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::reject);
    loadReport();
}

// The counts in bold; below them when the message was sent and its text on one line.
void SendReportWindow::showMessage() {
    QFont bold = m_countsLabel->font();
    bold.setBold(true);
    m_countsLabel->setFont(bold);
    const store::archive::MessageRow& message = m_request.message;
    const QString when =
        message.data.isEmpty() ? QString() : QStringLiteral("Inviato il %1: ").arg(message.data);
    m_messageLabel->setText(when +
                            m_messageLabel->fontMetrics().elidedText(
                                QString(message.testo).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                                Qt::ElideRight, 560));
    m_messageLabel->setToolTip(message.testo);
}

void SendReportWindow::buildLineList() {
    m_lineList->setModel(m_model);
    m_lineList->setRootIsDecorated(false);
    m_lineList->setUniformRowHeights(true);
    m_lineList->setAllColumnsShowFocus(true);
    m_lineList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lineList->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

// Esporta and Reinvia on the left, Chiudi on the right.
QLayout* SendReportWindow::buildButtons() {
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_exportButton);
    buttons->addWidget(m_resendButton);
    buttons->addStretch(1);
    buttons->addWidget(m_closeButton);
    return buttons;
}

// The lines of the message's report, its counts, and the buttons that have lines to work on.
void SendReportWindow::loadReport() {
    {
        const platform::WaitCursor wait;
        const auto db = store::Database::open(m_request.bookPath);
        m_model->setLines(store::sendreport::read(*db, m_request.message));
    }
    m_countsLabel->setText(m_model->counts());
    m_resendButton->setEnabled(!m_model->numbersToResend().isEmpty());
    m_exportButton->setEnabled(hasReport());
    const int widths[] = {110, 150, 40, 90, 120};
    for (int column = 0; column < 5; ++column)
        m_lineList->setColumnWidth(column, widths[column]);
}

bool SendReportWindow::hasReport() const {
    return m_model->rowCount() > 0;
}

void SendReportWindow::exportLines() {
    const auto file = platform::saveFileName(QStringLiteral("Esporta Esito"), {},
                                             QString::fromLatin1(csvexport::fileFilter));
    if (!file || file->isEmpty())
        return;
    csvexport::Writer writer({SendReportModel::columnTitle(SendReportModel::NumberColumn),
                              SendReportModel::columnTitle(SendReportModel::SurnameColumn),
                              SendReportModel::columnTitle(SendReportModel::PartColumn),
                              SendReportModel::columnTitle(SendReportModel::OutcomeColumn),
                              SendReportModel::columnTitle(SendReportModel::DeliveryColumn),
                              SendReportModel::columnTitle(SendReportModel::AnswerColumn),
                              SendReportModel::columnTitle(SendReportModel::TextColumn)});
    for (const SendReportModel::Line& line : m_model->lines())
        writer.addRow({line.number, line.surname, QString::number(line.part),
                       SendReportModel::outcomeText(line.outcome),
                       SendReportModel::deliveryText(line), line.answer, line.text});
    std::optional<QString> failure;
    {
        const platform::WaitCursor wait;
        failure = writer.save(*file);
    }
    if (failure)
        platform::MsgBox(*failure, platform::Icon::Critical);
    else
        platform::MsgBox(QStringLiteral("Esportate %1 righe nel file %2.")
                             .arg(writer.contacts())
                             .arg(QDir::toNativeSeparators(*file)),
                         platform::Icon::Information);
}

void SendReportWindow::resend() {
    const QStringList numbers = m_model->numbersToResend();
    if (numbers.isEmpty())
        return;
    accept();
    emit resendRequested(numbers, m_request.message.testo);
}
