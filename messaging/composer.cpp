#include "messaging/composer.h"

#include "app/session.h"
#include "messaging/smssplitter.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/waitcursor.h"
#include "store/archive.h"
#include "windows/handler.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStringListModel>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

const QString tooLong = QStringLiteral("Il testo supera 10 SMS (1600 caratteri): accorciarlo");
const QString tooLongForList =
    QStringLiteral("Il testo supera 160 caratteri: accorciarlo per l'invio a più destinatari");

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

Composer::Composer(Session& session, const Request& request, QWidget* parent)
    : QDialog(parent)
    , Label2(label(this, "Label2", {}))
    , Label3(label(this, "Label3", QStringLiteral("Cellulare")))
    , Text2(new QLineEdit(this))
    , Label18(label(this, "Label18", {}))
    , Label23(label(this, "Label23", {}))
    , List1(new QListView(this))
    , Text1(new QPlainTextEdit(this))
    , Label5(label(this, "Label5", QStringLiteral("0")))
    , Label24(label(this, "Label24", {}))
    , Combo1(new QComboBox(this))
    , Option1(new QRadioButton(QStringLiteral("Suddividi ogni 160 caratteri"), this))
    , Option2(new QRadioButton(QStringLiteral("Suddividi allo spazio più prossimo"), this))
    , Label6(label(this, "Label6", QStringLiteral(":-)")))
    , Label7(label(this, "Label7", QStringLiteral(":-(")))
    , Label8(label(this, "Label8", QStringLiteral(":-))")))
    , Label9(label(this, "Label9", QStringLiteral(":-o")))
    , Label14(label(this, "Label14", QStringLiteral(":-?")))
    , Label16(label(this, "Label16", QStringLiteral(":-@")))
    , Label10(label(this, "Label10", QStringLiteral("Allegro")))
    , Label11(label(this, "Label11", QStringLiteral("Sorridente")))
    , Label12(label(this, "Label12", QStringLiteral("Triste")))
    , Label13(label(this, "Label13", QStringLiteral("Meravigliato")))
    , Label15(label(this, "Label15", QStringLiteral("Confuso")))
    , Label17(label(this, "Label17", QStringLiteral("Smack")))
    , Frame1(new QGroupBox(QStringLiteral(" Stato  Servizio"), this))
    , Label21(label(Frame1, "Label21", {}))
    , ProgressBar1(new QProgressBar(Frame1))
    , Command1(platform::iconButton(this, "Command1", "sms", QStringLiteral("Invia")))
    , Command2(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi")))
    , Command3(platform::iconButton(this, "Command3", "salvati", QStringLiteral("Salva")))
    , Command4(platform::iconButton(this, "Command4", "cerca", QStringLiteral("Cerca")))
    , m_session(session)
    , m_request(request)
    , m_recipients(new QStringListModel(this))
    , m_job(session) {
    setObjectName(QStringLiteral("Form5"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Composizione SMS"));
    platform::nameControls({{Text2, "Text2"},
                            {Text1, "Text1"},
                            {List1, "List1"},
                            {Combo1, "Combo1"},
                            {Option1, "Option1"},
                            {Option2, "Option2"},
                            {Frame1, "Frame1"},
                            {ProgressBar1, "ProgressBar1"}});

    // Recipient.
    Label18->hide();
    Label23->hide();
    List1->setModel(m_recipients);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->setUniformItemSizes(true);
    List1->setMaximumHeight(90);
    List1->hide();
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);
    auto* recipient = new QGroupBox(QStringLiteral("Destinatario"), this);
    auto* who = new QGridLayout(recipient);
    who->addWidget(new QLabel(QStringLiteral("Cognome"), recipient), 0, 0);
    who->addWidget(Label2, 0, 1, 1, 2);
    who->addWidget(Label3, 1, 0);
    who->addWidget(Text2, 1, 1);
    who->addWidget(Command4, 1, 2);
    who->addWidget(List1, 2, 0, 1, 3);
    who->setColumnStretch(1, 1);
    Command4->setToolTip(QStringLiteral("Cerca un contatto"));

    // Text.
    Text1->setTabChangesFocus(true);
    Text1->setMinimumHeight(110);
    Label24->setWordWrap(true);
    auto* count = new QHBoxLayout;
    count->addWidget(new QLabel(QStringLiteral("Caratteri utilizzati"), this));
    count->addWidget(Label5);
    count->addSpacing(16);
    count->addWidget(Label24, 1);
    Combo1->addItems({QStringLiteral("Normale"), QStringLiteral("Flash")});
    Option1->setChecked(true);
    auto* options = new QGridLayout;
    options->addWidget(new QLabel(QStringLiteral("Tipo SMS"), this), 0, 0);
    options->addWidget(Combo1, 0, 1);
    options->addWidget(Option1, 0, 2);
    options->addWidget(Option2, 1, 2);
    options->setColumnStretch(3, 1);

    // Emoticons: a symbol (double click) above its name (click); both append the same.
    auto* faces = new QGroupBox(QStringLiteral("Emoticon"), this);
    auto* grid = new QGridLayout(faces);
    const std::pair<QLabel*, QLabel*> pairs[] = {{Label6, Label10},  {Label8, Label11},
                                                 {Label7, Label12},  {Label9, Label13},
                                                 {Label14, Label15}, {Label16, Label17}};
    int column = 0;
    for (const auto& [symbol, name] : pairs) {
        QFont big = symbol->font();
        big.setBold(true);
        big.setPointSizeF(big.pointSizeF() * 1.2);
        symbol->setFont(big);
        symbol->setToolTip(QStringLiteral("Doppio clic per inserire"));
        name->setToolTip(QStringLiteral("Clic per inserire"));
        name->setProperty("emoticon", symbol->text());
        for (QLabel* l : {symbol, name}) {
            l->setAlignment(Qt::AlignCenter);
            l->setCursor(Qt::PointingHandCursor);
            l->installEventFilter(this);
        }
        grid->addWidget(symbol, 0, column);
        grid->addWidget(name, 1, column);
        ++column;
    }

    // Status of a send.
    auto* status = new QVBoxLayout(Frame1);
    status->addWidget(Label21);
    status->addWidget(ProgressBar1);
    ProgressBar1->hide();
    Label21->setMinimumHeight(Label21->fontMetrics().height());

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command3);
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    Command1->setDefault(true);
    Command1->setAutoDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(recipient);
    layout->addWidget(new QLabel(QStringLiteral("Testo Sms"), this));
    layout->addWidget(Text1, 1);
    layout->addLayout(count);
    layout->addLayout(options);
    layout->addWidget(faces);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    connect(Text1->document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) {
                m_lastEdit = {position, added};
            });
    connect(Text1, &QPlainTextEdit::textChanged, this,
            [this] { handler::run([this] { countText(); }); });
    connect(Text2, &QLineEdit::textChanged, this, [this] { showTypedNumber(); });
    connect(Combo1, &QComboBox::activated, this, [this] { chooseSmsType(); });
    connect(Option1, &QRadioButton::toggled, this, [this] { describe(); });
    handler::onClick(Command1, [this] { send(); });
    connect(Command2, &QPushButton::clicked, this, [this] { closeComposer(); });
    handler::onClick(Command3, [this] { saveDraft(); });
    connect(Command4, &QPushButton::clicked, this, [this] { searchRecipient(); });
    connect(&m_job, &SendJob::statusChanged, this, &Composer::setStatus);
    connect(&m_job, &SendJob::recipientStarted, this, &Composer::showRecipient);
    connect(&m_job, &SendJob::progress, this, &Composer::showProgress);
    connect(&m_job, &SendJob::archived, this, &Composer::sendArchived);
    connect(&m_job, &SendJob::creditChanged, this, &Composer::creditChanged);
    connect(&m_job, &SendJob::finished, this, [this](const SendJob::Result& result) {
        handler::run([&] { finishSend(result); });
        emit sendFinished();
    });
    // Closed between two steps of a send (Escape): the rest of it does not run.
    connect(this, &QDialog::finished, this, [this] {
        m_job.cancel();
        m_busy = false;
        m_wait.reset();
    });

    const bool list = request.mode == Mode::List;
    Label23->setText(list ? QStringLiteral("1") : QStringLiteral("0"));
    if (list)
        setRecipients(request.recipients);
    Label18->setText(request.number);
    Label2->setText(request.surname);
    Label3->setVisible(request.searchable);
    Command4->setVisible(request.searchable);
    if (!request.text.isEmpty())
        Text1->setPlainText(request.text);
}

Composer::~Composer() = default;

void Composer::setRecipients(const QStringList& numbers) {
    m_recipients->setStringList(numbers);
    List1->setVisible(!numbers.isEmpty());
    describe();
}

QStringList Composer::recipients() const {
    return m_recipients->stringList();
}

bool Composer::listMode() const {
    return m_request.mode == Mode::List;
}

bool Composer::event(QEvent* event) {
    const bool done = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate)
        handler::run([this] { prepareOnActivation(); });
    return done;
}

void Composer::prepareOnActivation() {
    Text2->setText(Label18->text());
    if (listMode()) {
        if (m_recipients->rowCount() == 0) {
            platform::MsgBox(QStringLiteral("Nessun contatto selezionato"),
                             platform::Icon::Exclamation);
            reject();
            return;
        }
        // The opener ends the numbers with ";"; a saved list comes without it.
        if (Label18->text().endsWith(QLatin1Char(';')))
            Text2->setText(Label18->text().chopped(1));
        // One SMS each: the box takes no more. A longer draft stays as it is, to be shortened.
        m_maxLength = sms::partLength;
        Option1->hide();
        Option2->hide();
        const int last = m_recipients->rowCount() - 1;
        List1->setCurrentIndex(m_recipients->index(last));
        if (m_recipients->index(last).data().toString().isEmpty())
            m_recipients->removeRow(last);
        Label2->setText(QStringLiteral("<lista>"));
        List1->show();
    }
    describe();
}

// As a text box's maximum length: what the last edit inserted is cut to fit, the text that
// was there stays as it is and the caret stays where the user typed.
void Composer::keepWithinLimit() {
    const Edit edit = std::exchange(m_lastEdit, Edit{});
    const QString text = Text1->toPlainText();
    const int length = sms::length(text);
    if (!m_maxLength || edit.added <= 0 || length <= m_maxLength)
        return;
    const int size = static_cast<int>(text.size());
    const int start = std::clamp(edit.position, 0, size);
    const int end = std::clamp(edit.position + edit.added, start, size);
    const QString inserted = text.mid(start, end - start);
    const int room = std::max(0, m_maxLength - (length - sms::length(inserted)));
    const int kept = start + static_cast<int>(sms::left(inserted, room).size());
    {
        const QSignalBlocker quiet(Text1);
        QTextCursor cut(Text1->document());
        cut.joinPreviousEditBlock();
        cut.setPosition(kept);
        cut.setPosition(end, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        cut.endEditBlock();
        QTextCursor caret = Text1->textCursor();
        caret.setPosition(kept);
        Text1->setTextCursor(caret);
    }
    m_lastEdit = {};
}

void Composer::countText() {
    keepWithinLimit();
    const int length = sms::length(Text1->toPlainText());
    Label5->setText(QString::number(length));
    auto& state = m_session;
    // In list mode the text is one SMS: it never goes out as more.
    if (!listMode() && state.lengthNotice && length > sms::partLength) {
        state.lengthNotice = false;
        platform::MsgBox(QStringLiteral("Il testo supera 160 Caratteri, il messaggio verrà spedito "
                                        "utilizzando più di un SMS"),
                         platform::Icon::Information);
    }
    if (length < sms::partLength)
        state.lengthNotice = true;
    describe();
}

void Composer::showTypedNumber() {
    Label18->setText(Text2->text());
}

void Composer::chooseSmsType() {
    m_flash = Combo1->currentText() == QLatin1String("Flash");
}

// How many SMS the text makes, the credit the send will use, and the alphabet.
void Composer::describe() {
    const QString text = Text1->toPlainText();
    if (text.isEmpty()) {
        Label24->clear();
        return;
    }
    const bool list = listMode();
    const int parts = list ? 1 : static_cast<int>(sms::cut(text, Option2->isChecked()).size());
    QString note;
    if (parts > sms::maxParts) {
        note =
            QStringLiteral("<span style=\"color:#b00020\">") + tooLong + QStringLiteral("</span>");
    } else if (list && sms::length(text) > sms::partLength) {
        note = QStringLiteral("<span style=\"color:#b00020\">") + tooLongForList +
               QStringLiteral("</span>");
    } else {
        const int recipients = list ? m_recipients->rowCount() : 1;
        note = list ? QStringLiteral("1 SMS × %1 destinatari: credito necessario %2")
                          .arg(recipients)
                          .arg(recipients)
                    : QStringLiteral("%1 SMS: credito necessario %1").arg(parts);
    }
    if (!SMSSX::isGsm7(text))
        note += QStringLiteral("<br><span style=\"color:#8a5a00\">Il testo contiene caratteri "
                               "fuori dall'alfabeto SMS: viene inviato in UCS-2, 70 caratteri "
                               "per SMS</span>");
    Label24->setText(note);
}

void Composer::emoticon(QLabel* label) {
    const QString symbol = label->property("emoticon").toString();
    Text1->moveCursor(QTextCursor::End);
    Text1->insertPlainText(QLatin1Char(' ') + (symbol.isEmpty() ? label->text() : symbol) +
                           QLatin1Char(' '));
}

bool Composer::eventFilter(QObject* watched, QEvent* event) {
    if (auto* l = qobject_cast<QLabel*>(watched)) {
        const bool byName = l->property("emoticon").isValid();
        if (event->type() == (byName ? QEvent::MouseButtonRelease : QEvent::MouseButtonDblClick))
            emoticon(l);
    }
    return QDialog::eventFilter(watched, event);
}

void Composer::setStatus(const QString& text) {
    Label21->setText(text);
    emit statusChanged(text);
}

void Composer::enableButtons(bool enabled) {
    Command1->setEnabled(enabled);
    Command2->setEnabled(enabled);
    Command3->setEnabled(enabled);
}

// Sent messages go to the selected address book, or to Principale from any other node.
QString Composer::archiveBook() const {
    return m_request.sentBook;
}

void Composer::send() {
    const bool list = listMode();
    if (list)
        platform::MsgBox(QStringLiteral("L'invio di SMS Multipli può richiedere alcuni minuti non "
                                        "interrompere il software durante "
                                        "l'elaborazione\r\nFare click su OK per procedere con "
                                        "l'invio degli sms"),
                         platform::Icon::Information);
    if (Label2->text().isEmpty())
        Label2->setText(QStringLiteral(" "));
    const QString text = Text1->toPlainText();
    if (sms::length(text) < sms::partLength)
        Option1->setChecked(true);
    enableButtons(false);

    auto& state = m_session;
    SendJob::Message message;
    message.text = text;
    message.list = list;
    message.recipients = recipients();
    message.number = Text2->text();
    message.numberLabel = Label18->text();
    message.surname = Label2->text();
    message.atBlank = Option2->isChecked();
    message.flash = m_flash;
    message.sender = state.senderHeader;
    message.book = archiveBook();
    m_busy = true;
    m_wait.emplace();
    m_job.start(message);
}

// The send stops before anything went out; the window stays open with its text.
void Composer::abandon(const QString& message) {
    setStatus({});
    platform::MsgBox(message, platform::Icon::Critical);
    enableButtons(true);
}

void Composer::connectionFailed(const QString& detail) {
    QString text = QStringLiteral("Connessione al servizio non riuscita. Verificare la "
                                  "connessione ad Internet e ritentare");
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n") + detail;
    platform::MsgBox(text, platform::Icon::Critical);
}

// In list mode the recipient being sent to is selected and shown in the number box.
void Composer::showRecipient(int round, const QString& number) {
    if (!listMode())
        return;
    List1->setCurrentIndex(m_recipients->index(round - 1));
    Text2->setText(number);
}

void Composer::showProgress(int round, int total) {
    if (round == 0) {
        ProgressBar1->setVisible(listMode());
        ProgressBar1->setRange(0, total);
    }
    ProgressBar1->setValue(round);
}

void Composer::finishSend(const SendJob::Result& result) {
    m_busy = false;
    m_wait.reset();
    using Outcome = SendJob::Outcome;
    const auto outcome = result.outcome;
    if (outcome != Outcome::Completed && outcome != Outcome::SomeRefused &&
        outcome != Outcome::Interrupted)
        return stopSend(result);
    QString cache;
    if (!result.creditCacheWritten)
        cache = QStringLiteral("\n\nImpossibile scrivere il credito residuo nel file residui.txt.");
    if (outcome == Outcome::Completed)
        platform::MsgBox(QStringLiteral("Messaggio/i  inviato correttamente") + cache,
                         platform::Icon::Information);
    else if (outcome == Outcome::SomeRefused)
        platform::MsgBox(QStringLiteral("Alcuni messaggi non Inviati.\n\nRifiutati %1 di %2: %3")
                             .arg(result.refused)
                             .arg(result.rounds)
                             .arg(result.firstRefusal) +
                         cache);
    else
        platform::MsgBox(QStringLiteral("Invio interrotto: inviati %1 SMS su %2.\n\n%3")
                                 .arg(result.sent)
                                 .arg(result.rounds)
                                 .arg(result.failure) +
                             cache,
                         platform::Icon::Critical);
    accept();
}

// A send that stopped before any SMS went out.
void Composer::stopSend(const SendJob::Result& result) {
    switch (result.outcome) {
    case SendJob::Outcome::EmptyText:
        abandon(QStringLiteral("Testo SMS Mancante"));
        break;
    case SendJob::Outcome::TooLong:
        abandon(tooLong);
        break;
    case SendJob::Outcome::TooLongForList:
        abandon(tooLongForList);
        break;
    case SendJob::Outcome::NoAccount:
        abandon(QStringLiteral("Account del servizio SMS mancante o incompleto: inserire Nome "
                               "Utente e Password in Gestione Account"));
        break;
    case SendJob::Outcome::NoChannel:
        abandon(QStringLiteral("Il servizio non ha indicato il canale di invio degli SMS: invio "
                               "annullato. Riprovare più tardi"));
        break;
    case SendJob::Outcome::ConnectionFailed:
        connectionFailed(result.failure);
        setStatus({});
        enableButtons(true);
        reject();
        break;
    case SendJob::Outcome::CreditExhausted:
        platform::MsgBox(QStringLiteral("Credito Esaurito"), platform::Icon::Critical);
        setStatus({});
        reject();
        break;
    case SendJob::Outcome::InsufficientCredit: // the buttons stay off until the window closes
        platform::MsgBox(QStringLiteral("Credito insufficiente"), platform::Icon::Critical);
        break;
    case SendJob::Outcome::NotArchived:
        platform::MsgBox(QStringLiteral("Invio Annullato"));
        reject();
        break;
    case SendJob::Outcome::Failed:
        platform::MsgBox(result.failure, platform::Icon::Critical);
        break;
    case SendJob::Outcome::NoCredit: // the status says "Credito Esaurito"
    case SendJob::Outcome::Completed:
    case SendJob::Outcome::SomeRefused:
    case SendJob::Outcome::Interrupted:
        break;
    }
}

void Composer::closeComposer() {
    reject();
}

void Composer::saveDraft() {
    if (Text2->text().isEmpty()) {
        platform::MsgBox(QStringLiteral("Numero telefonico mancante"), platform::Icon::Critical);
        return;
    }
    const QString number = Text2->text();
    if (number.startsWith(QLatin1Char('+')) || number.startsWith(QLatin1String("039"))) {
        if (platform::MsgBox(QStringLiteral("Prefisso internazionele non necessario rimuovo il "
                                            "prefisso ") +
                                 number.left(3),
                             platform::Icon::Question,
                             platform::Buttons::OkCancel) != platform::Answer::Ok)
            return;
        Text2->setText(number.mid(3));
    }
    if (Label2->text().isEmpty())
        Label2->setText(QStringLiteral(" "));
    if (listMode())
        Label2->setText(QStringLiteral("<lista>"));
    if (Text1->toPlainText().isEmpty()) {
        platform::MsgBox(QStringLiteral("Testo SMS Mancante"), platform::Icon::Critical);
        return;
    }
    const QString book = m_request.draftBook;
    auto& state = m_session;
    const QString path = store::archive::addressBookPath(state.appFolder, book);
    if (book.isEmpty() || !QFileInfo(path).isFile()) {
        platform::MsgBox(QStringLiteral("Selezionare una rubrica nell'elenco degli archivi per "
                                        "salvare il messaggio"),
                         platform::Icon::Critical);
        return;
    }
    {
        platform::WaitCursor wait;
        state.archive.open(path);
        store::archive::addMessage(
            state.archive.openRecordset(QStringLiteral("salvati")),
            {Label2->text(), Label18->text(), platform::Clock::nowText(), Text1->toPlainText()});
    }
    accept();
}

void Composer::searchRecipient() {
    reject();
    emit searchRequested();
}

void Composer::closeEvent(QCloseEvent* event) {
    if (m_busy) // a send is on its way: it closes the window itself
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void Composer::done(int result) {
    QDialog::done(result);
}
