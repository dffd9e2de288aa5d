#include "messaging/composer.h"

#include "core/session.h"
#include "messaging/fieldspanel.h"
#include "messaging/smslength.h"
#include "messaging/smssplitter.h"
#include "messaging/templateswindow.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/waitcursor.h"
#include "store/archive.h"
#include "store/database.h"
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

QString alphabetName(sms::Alphabet alphabet) {
    return alphabet == sms::Alphabet::Gsm ? QStringLiteral("GSM") : QStringLiteral("Unicode");
}

// "160 caratteri GSM", "70 caratteri Unicode": what one SMS of the text's alphabet holds.
QString oneSmsLimit(const QString& text) {
    const sms::Alphabet alphabet = sms::alphabetOf(text);
    return QStringLiteral("%1 caratteri %2")
        .arg(sms::singleCapacity(alphabet))
        .arg(alphabetName(alphabet));
}

QString tooLong(int parts) {
    return QStringLiteral("Il testo richiede %1 SMS, al massimo %2: accorciarlo")
        .arg(parts)
        .arg(sms::maxParts);
}

QString tooLongForList(const QString& text) {
    return QStringLiteral("Il testo supera un SMS (%1): accorciarlo per l'invio a più "
                          "destinatari")
        .arg(oneSmsLimit(text));
}

QString tooLongFor(const textfields::Filled& filled) {
    return QStringLiteral("Il testo per %1 supera un SMS (%2): accorciarlo per l'invio a più "
                          "destinatari")
        .arg(textfields::recipientName(filled), oneSmsLimit(filled.text));
}

QString inRed(const QString& text) {
    return QStringLiteral("<span style=\"color:#b00020\">") + text + QStringLiteral("</span>");
}

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

Composer::Composer(Session& session, const Request& request, QWidget* parent)
    : QDialog(parent)
    , m_surnameLabel(label(this, "Label2", {}))
    , m_numberCaptionLabel(label(this, "Label3", QStringLiteral("Cellulare")))
    , m_numberEdit(new QLineEdit(this))
    , m_archivedNumberLabel(label(this, "Label18", {}))
    , m_modeLabel(label(this, "Label23", {}))
    , m_recipientList(new QListView(this))
    , m_textEdit(new QPlainTextEdit(this))
    , m_lengthLabel(label(this, "Label5", QStringLiteral("0")))
    , m_descriptionLabel(label(this, "Label24", {}))
    , m_smsTypeCombo(new QComboBox(this))
    , m_splitByLengthOption(new QRadioButton(QStringLiteral("Suddividi ogni 160 caratteri"), this))
    , m_splitAtSpaceOption(
          new QRadioButton(QStringLiteral("Suddividi allo spazio più prossimo"), this))
    , m_happySymbolLabel(label(this, "Label6", {}))
    , m_sadSymbolLabel(label(this, "Label7", {}))
    , m_smilingSymbolLabel(label(this, "Label8", {}))
    , m_amazedSymbolLabel(label(this, "Label9", {}))
    , m_confusedSymbolLabel(label(this, "Label14", {}))
    , m_kissSymbolLabel(label(this, "Label16", {}))
    , m_happyNameLabel(label(this, "Label10", QStringLiteral("Allegro")))
    , m_smilingNameLabel(label(this, "Label11", QStringLiteral("Sorridente")))
    , m_sadNameLabel(label(this, "Label12", QStringLiteral("Triste")))
    , m_amazedNameLabel(label(this, "Label13", QStringLiteral("Meravigliato")))
    , m_confusedNameLabel(label(this, "Label15", QStringLiteral("Confuso")))
    , m_kissNameLabel(label(this, "Label17", QStringLiteral("Smack")))
    , m_statusGroup(new QGroupBox(QStringLiteral(" Stato  Servizio"), this))
    , m_statusLabel(label(m_statusGroup, "Label21", {}))
    , m_progressBar(new QProgressBar(m_statusGroup))
    , m_sendButton(platform::iconButton(this, "Command1", "sms", QStringLiteral("Invia")))
    , m_closeButton(platform::iconButton(this, "Command2", "cancella", QStringLiteral("Chiudi")))
    , m_saveButton(platform::iconButton(this, "Command3", "salvati", QStringLiteral("Salva")))
    , m_searchButton(platform::iconButton(this, "Command4", "cerca", QStringLiteral("Cerca")))
    , m_saveTemplateButton(new QPushButton(QStringLiteral("Salva come modello"), this))
    , m_templatesButton(new QPushButton(QStringLiteral("Modelli"), this))
    , m_session(session)
    , m_request(request)
    , m_archivedNumber(request.number)
    , m_surname(request.surname)
    , m_recipients(new QStringListModel(this))
    , m_job(session)
    , m_fields(new FieldsPanel(store::archive::addressBookPath(session.appFolder, request.sentBook),
                               this))
    , m_excluded(excluded::List::load(session.appFolder)) {
    setObjectName(QStringLiteral("Form5"));
    setProperty("quilletForm", true);
    setWindowTitle(QStringLiteral("Composizione SMS"));
    platform::nameControls({{m_numberEdit, "Text2"},
                            {m_textEdit, "Text1"},
                            {m_recipientList, "List1"},
                            {m_smsTypeCombo, "Combo1"},
                            {m_splitByLengthOption, "Option1"},
                            {m_splitAtSpaceOption, "Option2"},
                            {m_statusGroup, "Frame1"},
                            {m_progressBar, "ProgressBar1"},
                            {m_saveTemplateButton, "cmdSalvaModello"},
                            {m_templatesButton, "cmdModelli"}});

    QGroupBox* recipient = buildRecipientBox();
    QLayout* count = buildTextBox();
    QLayout* options = buildSmsOptions();
    QGroupBox* faces = buildEmoticons();
    buildStatus();
    QLayout* buttons = buildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(recipient);
    layout->addWidget(new QLabel(QStringLiteral("Testo Sms"), this));
    layout->addWidget(m_textEdit, 1);
    layout->addWidget(m_fields->preview());
    layout->addLayout(count);
    layout->addLayout(options);
    auto* facesAndFields = new QHBoxLayout;
    facesAndFields->addWidget(faces, 1);
    facesAndFields->addWidget(m_fields);
    layout->addLayout(facesAndFields);
    layout->addWidget(m_statusGroup);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    connectInput();
    connectButtons();
    connectJob();
    showRequest();
}

// Surname, number and search button; in list mode the list of recipients. The archived number
// and the mode are hidden labels.
QGroupBox* Composer::buildRecipientBox() {
    m_archivedNumberLabel->hide();
    m_modeLabel->hide();
    m_recipientList->setModel(m_recipients);
    m_recipientList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_recipientList->setUniformItemSizes(true);
    m_recipientList->setMaximumHeight(90);
    m_recipientList->hide();
    QFont bold = m_surnameLabel->font();
    bold.setBold(true);
    m_surnameLabel->setFont(bold);
    auto* recipient = new QGroupBox(QStringLiteral("Destinatario"), this);
    auto* who = new QGridLayout(recipient);
    who->addWidget(new QLabel(QStringLiteral("Cognome"), recipient), 0, 0);
    who->addWidget(m_surnameLabel, 0, 1, 1, 2);
    who->addWidget(m_numberCaptionLabel, 1, 0);
    who->addWidget(m_numberEdit, 1, 1);
    who->addWidget(m_searchButton, 1, 2);
    who->addWidget(m_recipientList, 2, 0, 1, 3);
    who->setColumnStretch(1, 1);
    m_searchButton->setToolTip(QStringLiteral("Cerca un contatto"));
    return recipient;
}

// The text box; the row of its counter, returned.
QLayout* Composer::buildTextBox() {
    m_textEdit->setTabChangesFocus(true);
    m_textEdit->setMinimumHeight(110);
    m_descriptionLabel->setWordWrap(true);
    auto* count = new QHBoxLayout;
    count->addWidget(new QLabel(QStringLiteral("Caratteri utilizzati"), this));
    count->addWidget(m_lengthLabel);
    count->addSpacing(16);
    count->addWidget(m_descriptionLabel, 1);
    return count;
}

// The SMS type and how a long text is cut.
QLayout* Composer::buildSmsOptions() {
    m_smsTypeCombo->addItems({QStringLiteral("Normale"), QStringLiteral("Flash")});
    m_splitByLengthOption->setChecked(true);
    auto* options = new QGridLayout;
    options->addWidget(new QLabel(QStringLiteral("Tipo SMS"), this), 0, 0);
    options->addWidget(m_smsTypeCombo, 0, 1);
    options->addWidget(m_splitByLengthOption, 0, 2);
    options->addWidget(m_splitAtSpaceOption, 1, 2);
    options->setColumnStretch(3, 1);
    return options;
}

// Emoticons: a symbol (double click) above its name (click); both append the same.
QGroupBox* Composer::buildEmoticons() {
    auto* faces = new QGroupBox(QStringLiteral("Emoticon"), this);
    auto* grid = new QGridLayout(faces);
    const struct {
        QLabel* symbol;
        QLabel* name;
        QString text;
    } emoticons[] = {{m_happySymbolLabel, m_happyNameLabel, QStringLiteral(":-)")},
                     {m_smilingSymbolLabel, m_smilingNameLabel, QStringLiteral(":-))")},
                     {m_sadSymbolLabel, m_sadNameLabel, QStringLiteral(":-(")},
                     {m_amazedSymbolLabel, m_amazedNameLabel, QStringLiteral(":-o")},
                     {m_confusedSymbolLabel, m_confusedNameLabel, QStringLiteral(":-?")},
                     {m_kissSymbolLabel, m_kissNameLabel, QStringLiteral(":-@")}};
    int column = 0;
    for (const auto& [symbol, name, text] : emoticons) {
        symbol->setText(text);
        QFont big = symbol->font();
        big.setBold(true);
        big.setPointSizeF(big.pointSizeF() * 1.2);
        symbol->setFont(big);
        symbol->setToolTip(QStringLiteral("Doppio clic per inserire"));
        name->setToolTip(QStringLiteral("Clic per inserire"));
        m_emoticons.insert(symbol, {text, QEvent::MouseButtonDblClick});
        m_emoticons.insert(name, {text, QEvent::MouseButtonRelease});
        for (QLabel* l : {symbol, name}) {
            l->setAlignment(Qt::AlignCenter);
            l->setCursor(Qt::PointingHandCursor);
            l->installEventFilter(this);
        }
        grid->addWidget(symbol, 0, column);
        grid->addWidget(name, 1, column);
        ++column;
    }
    return faces;
}

// The status line of a send, and its progress bar for a list.
void Composer::buildStatus() {
    auto* status = new QVBoxLayout(m_statusGroup);
    status->addWidget(m_statusLabel);
    status->addWidget(m_progressBar);
    m_progressBar->hide();
    m_statusLabel->setMinimumHeight(m_statusLabel->fontMetrics().height());
}

// Salva on the left; Invia, the default, and Chiudi on the right.
QLayout* Composer::buildButtons() {
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_saveTemplateButton);
    buttons->addWidget(m_templatesButton);
    buttons->addStretch(1);
    buttons->addWidget(m_sendButton);
    buttons->addWidget(m_closeButton);
    m_sendButton->setDefault(true);
    m_sendButton->setAutoDefault(true);
    return buttons;
}

void Composer::connectInput() {
    connect(m_textEdit->document(), &QTextDocument::contentsChange, this,
            [this](int position, int, int added) {
                m_lastEdit = {position, added};
            });
    connect(m_textEdit, &QPlainTextEdit::textChanged, this,
            [this] { handler::run([this] { countText(); }); });
    connect(m_numberEdit, &QLineEdit::textChanged, this, [this] { showTypedNumber(); });
    connect(m_fields, &FieldsPanel::fieldChosen, this, &Composer::insertField);
    connect(m_fields, &FieldsPanel::previewToggled, this,
            [this] { handler::run([this] { describe(); }); });
    connect(m_smsTypeCombo, &QComboBox::activated, this, [this] { chooseSmsType(); });
    connect(m_splitByLengthOption, &QRadioButton::toggled, this, [this] { describe(); });
}

void Composer::connectButtons() {
    handler::onClick(m_sendButton, [this] { send(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { closeComposer(); });
    handler::onClick(m_saveButton, [this] { saveDraft(); });
    handler::onClick(m_saveTemplateButton, [this] { saveTemplate(); });
    handler::onClick(m_templatesButton, [this] { openTemplates(); });
    connect(m_searchButton, &QPushButton::clicked, this, [this] { searchRecipient(); });
}

void Composer::connectJob() {
    connect(&m_job, &SendJob::statusChanged, this, &Composer::setStatus);
    connect(&m_job, &SendJob::recipientStarted, this, &Composer::showRecipient);
    connect(&m_job, &SendJob::progress, this, &Composer::showProgress);
    connect(&m_job, &SendJob::archived, this, &Composer::sendArchived);
    connect(&m_job, &SendJob::creditChanged, this, &Composer::creditChanged);
    m_sendViewTimer.setSingleShot(true);
    connect(&m_sendViewTimer, &QTimer::timeout, this, &Composer::showSendView);
    connect(&m_job, &SendJob::finished, this, [this](const SendJob::Result& result) {
        showSendView();
        handler::run([&] { finishSend(result); });
        emit sendFinished();
    });
    // Closed between two steps of a send (Escape): the rest of it does not run.
    connect(this, &QDialog::finished, this, [this] {
        m_job.cancel();
        m_busy = false;
        m_wait.reset();
    });
}

// What the opener asked for: the mode, the recipient and the text.
void Composer::showRequest() {
    const bool list = listMode();
    m_modeLabel->setText(list ? QStringLiteral("1") : QStringLiteral("0"));
    if (list)
        setRecipients(m_request.recipients);
    setArchivedNumber(m_archivedNumber);
    setSurname(m_surname);
    m_numberCaptionLabel->setVisible(m_request.searchable);
    m_searchButton->setVisible(m_request.searchable);
    if (!m_request.text.isEmpty())
        m_textEdit->setPlainText(m_request.text);
}

Composer::~Composer() = default;

void Composer::setArchivedNumber(const QString& number) {
    m_archivedNumber = number;
    m_archivedNumberLabel->setText(number);
}

void Composer::setSurname(const QString& surname) {
    m_surname = surname;
    m_surnameLabel->setText(surname);
}

void Composer::setRecipients(const QStringList& numbers) {
    m_recipients->setStringList(numbers);
    m_excludedCount = -1;
    m_recipientList->setVisible(!numbers.isEmpty());
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
    m_numberEdit->setText(m_archivedNumber);
    if (listMode()) {
        if (m_recipients->rowCount() == 0) {
            platform::MsgBox(QStringLiteral("Nessun contatto selezionato"),
                             platform::Icon::Exclamation);
            reject();
            return;
        }
        // The opener ends the numbers with ";"; a saved list comes without it.
        if (m_archivedNumber.endsWith(QLatin1Char(';')))
            m_numberEdit->setText(m_archivedNumber.chopped(1));
        // One SMS each: the box takes no more. A longer draft stays as it is, to be shortened.
        m_oneSmsOnly = true;
        m_splitByLengthOption->hide();
        m_splitAtSpaceOption->hide();
        const int last = m_recipients->rowCount() - 1;
        m_recipientList->setCurrentIndex(m_recipients->index(last));
        if (m_recipients->index(last).data().toString().isEmpty())
            m_recipients->removeRow(last);
        m_excludedCount = -1;
        setSurname(QStringLiteral("<lista>"));
        m_recipientList->show();
    }
    describe();
}

// As a text box's maximum length, measured as the SMS centre does: what the last edit inserted
// is cut to what still goes as one SMS, the text that was there stays as it is and the caret
// stays where the user typed.
void Composer::keepWithinLimit() {
    const Edit edit = std::exchange(m_lastEdit, Edit{});
    const QString text = m_textEdit->toPlainText();
    if (!m_oneSmsOnly || edit.added <= 0 || sms::fitsOne(text))
        return;
    const int size = static_cast<int>(text.size());
    const int start = std::clamp(edit.position, 0, size);
    const int end = std::clamp(edit.position + edit.added, start, size);
    // The character boundaries of what was inserted; the longest start of it that fits.
    QList<int> ends{start};
    for (int at = start; at < end;) {
        at += text[at].isHighSurrogate() && at + 1 < end && text[at + 1].isLowSurrogate() ? 2 : 1;
        ends.append(at);
    }
    const auto fits = [&](int upTo) {
        return sms::fitsOne(QString(text).remove(upTo, end - upTo));
    };
    qsizetype low = 0, high = ends.size() - 1; // ends[low] fits, ends[high] does not
    while (high - low > 1) {
        const qsizetype middle = (low + high) / 2;
        (fits(ends[middle]) ? low : high) = middle;
    }
    const int kept = fits(ends[low]) ? ends[low] : start;
    {
        const QSignalBlocker quiet(m_textEdit);
        QTextCursor cut(m_textEdit->document());
        cut.joinPreviousEditBlock();
        cut.setPosition(kept);
        cut.setPosition(end, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        cut.endEditBlock();
        QTextCursor caret = m_textEdit->textCursor();
        caret.setPosition(kept);
        m_textEdit->setTextCursor(caret);
    }
    m_lastEdit = {};
}

void Composer::countText() {
    keepWithinLimit();
    const QString text = m_textEdit->toPlainText();
    const sms::Alphabet alphabet = sms::alphabetOf(text);
    const int units = sms::units(text, alphabet);
    auto& state = m_session;
    // In list mode the text is one SMS: it never goes out as more.
    if (!listMode() && state.lengthNotice && units > sms::singleCapacity(alphabet)) {
        state.lengthNotice = false;
        platform::MsgBox(alphabet == sms::Alphabet::Gsm
                             ? QStringLiteral("Il testo supera 160 Caratteri, il messaggio verrà "
                                              "spedito utilizzando più di un SMS")
                             : QStringLiteral("Il testo supera 70 caratteri Unicode, il messaggio "
                                              "verrà spedito utilizzando più di un SMS"),
                         platform::Icon::Information);
    }
    if (units < sms::singleCapacity(alphabet))
        state.lengthNotice = true;
    describe();
}

void Composer::showTypedNumber() {
    setArchivedNumber(m_numberEdit->text());
    if (!listMode() && textfields::hasFields(m_textEdit->toPlainText()))
        handler::run([this] { describe(); });
}

void Composer::insertField(const QString& field) {
    m_textEdit->insertPlainText(field);
    m_textEdit->setFocus();
}

QList<textfields::Filled> Composer::fillText() {
    return m_fields->fill(m_textEdit->toPlainText(),
                          listMode() ? recipients() : QStringList{m_numberEdit->text()});
}

void Composer::chooseSmsType() {
    m_flash = m_smsTypeCombo->currentText() == QLatin1String("Flash");
}

// What the network counts of the text, how many SMS it makes and the credit the send will use.
// A text with fields counts as the fullest of its filled texts.
void Composer::describe() {
    const QString written = m_textEdit->toPlainText();
    m_filled = fillText();
    m_fields->showPreview(written, m_filled);
    const qsizetype fullest = textfields::fullest(m_filled);
    const QString text = fullest < 0 ? written : m_filled[fullest].text;
    const sms::Alphabet alphabet = sms::alphabetOf(text);
    m_lengthLabel->setText(QStringLiteral("%1 · %2 di %3 (%4)")
                               .arg(sms::characters(text))
                               .arg(sms::units(text, alphabet))
                               .arg(sms::singleCapacity(alphabet))
                               .arg(alphabetName(alphabet)));
    if (written.isEmpty()) {
        m_descriptionLabel->clear();
        return;
    }
    QString note;
    if (listMode()) {
        const int excluded = excludedRecipients();
        const int recipients = m_recipients->rowCount() - excluded;
        const qsizetype tooLong = textfields::firstTooLong(m_filled);
        note = tooLong >= 0 ? inRed(tooLongFor(m_filled[tooLong]))
               : sms::fitsOne(text)
                   ? QStringLiteral("1 SMS × %1 destinatari: credito necessario %1").arg(recipients)
                   : inRed(tooLongForList(text));
        if (excluded > 0)
            note += QStringLiteral("<br>%1 destinatari esclusi").arg(excluded);
    } else {
        const int parts =
            static_cast<int>(sms::cut(text, m_splitAtSpaceOption->isChecked()).size());
        note = parts > sms::maxParts ? inRed(tooLong(parts))
                                     : QStringLiteral("%1 SMS: credito necessario %1").arg(parts);
    }
    const auto unicode = std::count_if(m_filled.cbegin(), m_filled.cend(), [](const auto& f) {
        return sms::alphabetOf(f.text) == sms::Alphabet::Unicode;
    });
    if (unicode > 0 && unicode < m_filled.size())
        note += QStringLiteral("<br><span style=\"color:#8a5a00\">Per %1 destinatari il testo "
                               "contiene caratteri fuori dall'alfabeto SMS: viene inviato in "
                               "UCS-2, 70 caratteri per SMS</span>")
                    .arg(unicode);
    else if (alphabet == sms::Alphabet::Unicode)
        note += QStringLiteral("<br><span style=\"color:#8a5a00\">Il testo contiene caratteri "
                               "fuori dall'alfabeto SMS: viene inviato in UCS-2, 70 caratteri "
                               "per SMS</span>");
    m_descriptionLabel->setText(note);
}

void Composer::emoticon(QLabel* label) {
    const auto found = m_emoticons.constFind(label);
    if (found == m_emoticons.cend())
        return;
    m_textEdit->moveCursor(QTextCursor::End);
    m_textEdit->insertPlainText(QLatin1Char(' ') + found->symbol + QLatin1Char(' '));
}

bool Composer::eventFilter(QObject* watched, QEvent* event) {
    const auto found = m_emoticons.constFind(watched);
    if (found != m_emoticons.cend() && event->type() == found->insertsOn)
        emoticon(static_cast<QLabel*>(watched));
    return QDialog::eventFilter(watched, event);
}

void Composer::setStatus(const QString& text) {
    m_sendView.status = text;
    emit statusChanged(text);
    scheduleSendView();
}

void Composer::enableButtons(bool enabled) {
    m_sendButton->setEnabled(enabled);
    m_closeButton->setEnabled(enabled);
    m_saveButton->setEnabled(enabled);
}

// Sent messages go to the selected address book, or to Principale from any other node.
QString Composer::archiveBook() const {
    return m_request.sentBook;
}

int Composer::excludedRecipients() {
    if (m_excludedCount < 0) {
        const QStringList numbers = recipients();
        m_excludedCount =
            static_cast<int>(std::count_if(numbers.cbegin(), numbers.cend(), [this](const auto& n) {
                return m_excluded.contains(n);
            }));
    }
    return m_excludedCount;
}

void Composer::send() {
    const bool list = listMode();
    const int excluded = list ? excludedRecipients() : 0;
    if (list)
        platform::MsgBox(QStringLiteral("L'invio di SMS Multipli può richiedere alcuni minuti non "
                                        "interrompere il software durante "
                                        "l'elaborazione\r\nFare click su OK per procedere con "
                                        "l'invio degli sms") +
                             (excluded > 0
                                  ? QStringLiteral("\r\n\r\n%1 destinatari esclusi").arg(excluded)
                                  : QString()),
                         platform::Icon::Information);
    else if (m_excluded.contains(m_numberEdit->text()) &&
             platform::MsgBox(QStringLiteral("Il numero %1 è tra i Numeri esclusi: ha chiesto di "
                                             "non ricevere messaggi. Inviare comunque?")
                                  .arg(m_numberEdit->text()),
                              platform::Icon::Question,
                              platform::Buttons::YesNo) != platform::Answer::Yes)
        return;
    if (m_surname.isEmpty())
        setSurname(QStringLiteral(" "));
    const QString text = m_textEdit->toPlainText();
    enableButtons(false);

    auto& state = m_session;
    SendJob::Message message;
    message.text = text;
    message.list = list;
    message.recipients = recipients();
    message.number = m_numberEdit->text();
    message.numberLabel = m_archivedNumber;
    message.surname = m_surname;
    message.atBlank = m_splitAtSpaceOption->isChecked();
    message.flash = m_flash;
    message.sender = state.senderHeader;
    message.book = archiveBook();
    m_filled = fillText();
    for (const auto& filled : std::as_const(m_filled))
        message.texts << filled.text;
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
    m_sendView.round = round;
    m_sendView.number = number;
    scheduleSendView();
}

void Composer::showProgress(int round, int total) {
    m_sendView.done = round;
    m_sendView.total = total;
    scheduleSendView();
}

// A list send changes the status, the bar and the recipient for every SMS, faster than anyone
// reads them, and each change repaints: they are shown at most every 50 ms, the latest always.
void Composer::scheduleSendView() {
    if (m_sendViewTimer.isActive())
        return;
    const qint64 since = m_sendViewShown.isValid() ? m_sendViewShown.elapsed() : sendViewMs;
    if (since >= sendViewMs)
        return showSendView();
    m_sendViewTimer.start(static_cast<int>(sendViewMs - since));
}

void Composer::showSendView() {
    m_sendViewTimer.stop();
    m_sendViewShown.start();
    m_statusLabel->setText(m_sendView.status);
    if (m_sendView.total != m_progressBar->maximum() || !m_progressBar->isVisible()) {
        m_progressBar->setVisible(listMode() && m_sendView.total > 0);
        m_progressBar->setRange(0, m_sendView.total);
    }
    m_progressBar->setValue(m_sendView.done);
    if (m_sendView.round > 0 && m_sendView.round != m_sendView.shownRound) {
        m_sendView.shownRound = m_sendView.round;
        m_recipientList->setCurrentIndex(m_recipients->index(m_sendView.round - 1));
        m_numberEdit->setText(m_sendView.number);
    }
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
    // With SMS that did not go, the box offers the report of the send.
    const auto buttons = result.reportWritten && result.archived && outcome != Outcome::Completed
                             ? platform::Buttons::OkReport
                             : platform::Buttons::Ok;
    platform::Answer answer = platform::Answer::Ok;
    if (outcome == Outcome::Completed)
        platform::MsgBox(QStringLiteral("Messaggio/i  inviato correttamente") + cache,
                         platform::Icon::Information);
    else if (outcome == Outcome::SomeRefused)
        answer = platform::MsgBox(
            QStringLiteral("Alcuni messaggi non Inviati.\n\nRifiutati %1 di %2: %3")
                    .arg(result.refused)
                    .arg(result.rounds)
                    .arg(result.firstRefusal) +
                cache,
            platform::Icon::None, buttons);
    else
        answer = platform::MsgBox(QStringLiteral("Invio interrotto: inviati %1 SMS su %2.\n\n%3")
                                          .arg(result.sent)
                                          .arg(result.rounds)
                                          .arg(result.failure) +
                                      cache,
                                  platform::Icon::Critical, buttons);
    accept();
    if (answer == platform::Answer::Report)
        emit reportRequested(archiveBook(), *result.archived);
}

// A send that stopped before any SMS went out.
void Composer::stopSend(const SendJob::Result& result) {
    switch (result.outcome) {
    case SendJob::Outcome::EmptyText:
        abandon(QStringLiteral("Testo SMS Mancante"));
        break;
    case SendJob::Outcome::TooLong:
        abandon(tooLong(static_cast<int>(
            sms::cut(m_filled.isEmpty() ? m_textEdit->toPlainText() : m_filled.first().text,
                     m_splitAtSpaceOption->isChecked())
                .size())));
        break;
    case SendJob::Outcome::TooLongForList:
        abandon(result.tooLong >= 0 && result.tooLong < m_filled.size()
                    ? tooLongFor(m_filled[result.tooLong])
                    : tooLongForList(m_textEdit->toPlainText()));
        break;
    case SendJob::Outcome::AllExcluded:
        abandon(QStringLiteral("Tutti i destinatari sono tra i Numeri esclusi: nessun SMS da "
                               "inviare"));
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
    if (m_numberEdit->text().isEmpty()) {
        platform::MsgBox(QStringLiteral("Numero telefonico mancante"), platform::Icon::Critical);
        return;
    }
    const QString number = m_numberEdit->text();
    if (number.startsWith(QLatin1Char('+')) || number.startsWith(QLatin1String("039"))) {
        if (platform::MsgBox(QStringLiteral("Prefisso internazionele non necessario rimuovo il "
                                            "prefisso ") +
                                 number.left(3),
                             platform::Icon::Question,
                             platform::Buttons::OkCancel) != platform::Answer::Ok)
            return;
        m_numberEdit->setText(number.mid(3));
    }
    if (m_surname.isEmpty())
        setSurname(QStringLiteral(" "));
    if (listMode())
        setSurname(QStringLiteral("<lista>"));
    if (m_textEdit->toPlainText().isEmpty()) {
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
        const auto book = store::Database::open(path);
        store::archive::addMessage(
            *book->openRecordset(QStringLiteral("salvati")),
            {m_surname, m_archivedNumber, platform::Clock::nowText(), m_textEdit->toPlainText()});
    }
    accept();
}

void Composer::saveTemplate() {
    const QString text = m_textEdit->toPlainText();
    if (text.isEmpty()) {
        platform::MsgBox(QStringLiteral("Testo SMS Mancante"), platform::Icon::Critical);
        return;
    }
    templates::Loaded loaded = templates::load(m_session.appFolder);
    if (!loaded.problem.isEmpty()) {
        platform::MsgBox(loaded.problem, platform::Icon::Critical);
        return;
    }
    const auto name =
        platform::InputBox(QStringLiteral("Nome del modello"), QStringLiteral("Salva come modello"),
                           text.section(u'\n', 0, 0).left(40));
    if (!name || name->trimmed().isEmpty())
        return;
    const QString refused = templates::add(loaded.list, {name->trimmed(), text});
    if (!refused.isEmpty())
        platform::MsgBox(refused, platform::Icon::Exclamation);
    else if (!templates::save(m_session.appFolder, loaded.list))
        platform::MsgBox(QStringLiteral("Impossibile scrivere il file dei modelli"),
                         platform::Icon::Critical);
}

void Composer::openTemplates() {
    const templates::Loaded loaded = templates::load(m_session.appFolder);
    if (!loaded.problem.isEmpty()) {
        platform::MsgBox(loaded.problem, platform::Icon::Critical);
        return;
    }
    TemplatesWindow window(m_session.appFolder, loaded.list, this);
    if (window.exec() == QDialog::Accepted && !window.chosenText().isEmpty()) {
        m_textEdit->insertPlainText(window.chosenText());
        m_textEdit->setFocus();
    }
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
