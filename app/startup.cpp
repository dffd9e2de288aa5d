#include "app/startup.h"

#include "app/mainwindow.h"
#include "contacts/numbermigration.h"
#include "core/session.h"
#include "messaging/sendjournal.h"
#include "migration/commands.h"
#include "migration/folderconversion.h"
#include "migration/jetconversion.h"
#include "migration/jetfile.h"
#include "migration/staging.h"
#include "platform/appfolder.h"
#include "platform/dialogs.h"
#include "platform/waitcursor.h"
#include "store/archive.h"
#include "store/database.h"
#include "users/loginwindow.h"
#include "users/userfile.h"
#include "windows/disclaimerwindow.h"
#include "windows/handler.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace startup {

Options parseOptions(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        auto value = [&](QString& target) {
            if (i + 1 < arguments.size())
                target = arguments[++i];
            else
                options.error = QStringLiteral("Manca il valore dell'opzione %1.").arg(a);
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            options.help = true;
        else if (a == QLatin1String("--version") || a == QLatin1String("-v"))
            options.version = true;
        else if (a == QLatin1String("--folder"))
            value(options.folder);
        else if (a.startsWith(QLatin1String("--folder=")))
            options.folder = a.mid(9);
        else if (a == QLatin1String("--screenshot"))
            value(options.screenshot);
        else if (a.startsWith(QLatin1String("--screenshot=")))
            options.screenshot = a.mid(13);
        else if (a == QLatin1String("--convert-jet"))
            value(options.convertJet);
        else if (a == QLatin1String("--count-jet"))
            value(options.countJet);
        else if (a == QLatin1String("--jet-file")) {
            options.jetFile = arguments.mid(i + 1);
            break;
        } else
            options.error = QStringLiteral("Opzione sconosciuta: %1").arg(a);
    }
    return options;
}

QString helpText() {
    return QStringLiteral(
        "Uso: quillet [opzioni]\n"
        "Quillet: SMS dal computer, con rubriche e archivi dei messaggi.\n\n"
        "Opzioni:\n"
        "  --folder DIR       usa DIR come cartella dell'applicazione (archivi e impostazioni)\n"
        "  --screenshot FILE  salva un'immagine della prima finestra mostrata in FILE ed esce\n"
        "  --convert-jet DIR  converte gli archivi del programma precedente in DIR e ne\n"
        "                     stampa il resoconto (uscita 0: tutto convertito, 1: in parte,\n"
        "                     2: nulla cambiato)\n"
        "  --count-jet DIR    conta rubriche, contatti e messaggi del programma precedente\n"
        "  --version          mostra la versione ed esce\n"
        "  --help             mostra questo aiuto ed esce\n\n"
        "Senza --folder: la cartella del programma se contiene elenco.mdb, altrimenti la\n"
        "cartella dei dati dell'utente, creata al primo avvio dalla cartella predefinita.\n");
}

namespace {

void print(FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

void takeScreenshot(QWidget* window, const QString& file) {
    QTimer::singleShot(800, window, [window = QPointer<QWidget>(window), file] {
        const bool saved = window && window->grab().save(file, "PNG");
        print(saved ? stdout : stderr,
              saved ? QStringLiteral("Immagine della finestra salvata in %1\n").arg(file)
                    : QStringLiteral("Impossibile salvare l'immagine in %1\n").arg(file));
        QCoreApplication::exit(saved ? 0 : 1);
    });
}

void reportNumbers(const numbermigration::Result& numbers) {
    if (const QString text = numbermigration::message(numbers); !text.isEmpty())
        platform::MsgBox(text, numbers.left.isEmpty() ? platform::Icon::Information
                                                      : platform::Icon::Exclamation);
}

} // namespace

FirstWindows::FirstWindows(Session& session, std::function<void()> quit)
    : m_session(session)
    , m_quit(std::move(quit)) {}

FirstWindows::~FirstWindows() = default;

QWidget* FirstWindows::open() {
    if (!DisclaimerWindow::termsDue(m_session.appFolder))
        return openLogin();
    m_disclaimer = std::make_unique<DisclaimerWindow>(m_session);
    m_disclaimer->loadDisclaimer();
    QObject::connect(m_disclaimer.get(), &QDialog::accepted, m_disclaimer.get(),
                     [this] { openLogin(); });
    QObject::connect(m_disclaimer.get(), &QDialog::rejected, m_disclaimer.get(),
                     [this] { m_quit(); });
    platform::setDialogParent(m_disclaimer.get());
    m_disclaimer->show();
    return m_disclaimer.get();
}

// The login comes first when the user file holds a user; otherwise nobody could get in.
QWidget* FirstWindows::openLogin() {
    const users::Contents contents = users::read(m_session.appFolder);
    if (const QString notice = users::damageNotice(contents); !notice.isEmpty())
        platform::MsgBox(notice, platform::Icon::Exclamation);
    if (contents.users.isEmpty()) {
        openMain();
        return m_main.get();
    }
    m_login = std::make_unique<LoginWindow>(m_session);
    QObject::connect(m_login.get(), &QDialog::accepted, m_login.get(), [this] { openMain(); });
    QObject::connect(m_login.get(), &QDialog::rejected, m_login.get(), [this] { m_quit(); });
    platform::setDialogParent(m_login.get());
    m_login->show();
    return m_login.get();
}

void FirstWindows::openMain() {
    // Numbers earlier versions kept as typed take the stored form before any list opens.
    numbermigration::Result numbers;
    handler::run([this, &numbers] {
        const platform::WaitCursor cursor;
        numbers = numbermigration::migrateFolder(m_session.appFolder);
    });
    m_main = std::make_unique<MainWindow>(m_session);
    platform::setDialogParent(m_main.get());
    handler::run([this] { m_main->load(); });
    m_main->show();
    // What became of the numbers, and sends that the program's end cut short, once the window
    // is up.
    QTimer::singleShot(0, m_main.get(), [this, numbers] {
        handler::run([&numbers] { reportNumbers(numbers); });
        handler::run([this] { settleSends(); });
    });
}

void FirstWindows::settleSends() {
    sendjournal::settleAll(m_session.appFolder, [](const QList<sendjournal::Settled>& settled) {
        for (const auto& send : settled) {
            QString text =
                QStringLiteral("L'invio di %1 SMS dalla rubrica %2 si è interrotto con la "
                               "chiusura del programma: ne risultano inviati %3, e il "
                               "credito addebitato è stato rettificato di conseguenza.")
                    .arg(send.lines)
                    .arg(send.book)
                    .arg(send.sent);
            if (send.uncertain)
                text +=
                    QStringLiteral("\n\nNon si sa se l'SMS in partenza al momento "
                                   "dell'interruzione sia arrivato: è contato fra gli inviati.");
            platform::MsgBox(text, platform::Icon::Information);
        }
    });
}

int run(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const Options options = parseOptions(arguments);
    if (!options.error.isEmpty()) {
        print(stderr, options.error + QLatin1Char('\n') + helpText());
        return 2;
    }
    if (options.help || options.version) {
        print(stdout, options.help
                          ? helpText()
                          : QStringLiteral("Quillet %1\n").arg(QLatin1String(QUILLET_VERSION)));
        return 0;
    }

    if (!options.jetFile.isEmpty())
        return migration::jetFileCommand(options.jetFile);
    if (!options.convertJet.isEmpty() || !options.countJet.isEmpty()) {
        const QCoreApplication app(argc, argv);
        const QString program = QCoreApplication::applicationFilePath();
        return options.convertJet.isEmpty()
                   ? migration::countCommand(QDir(options.countJet).absolutePath(), program)
                   : migration::convertCommand(QDir(options.convertJet).absolutePath(), program);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillet"));
    QApplication::setApplicationVersion(QLatin1String(QUILLET_VERSION));
    QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
    QTranslator qtTranslations;
    if (qtTranslations.load(QStringLiteral("qtbase_it"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslations);

    const QString exeDir = QApplication::applicationDirPath();
    const auto folder = platform::AppFolder::choose(
        options.folder, exeDir, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
        platform::AppFolder::installedDefaultFolder(exeDir));
    if (folder.folder.isEmpty()) {
        platform::MsgBox(folder.error, platform::Icon::Critical);
        return 1;
    }
    Session session;
    session.appFolder = QDir::cleanPath(folder.folder);

    // A conversion the program's end cut short is finished (or undone) before anything opens
    // the folder.
    try {
        migration::staging::settle(session.appFolder);
    } catch (const store::StoreError& e) {
        platform::MsgBox(e.message(), platform::Icon::Critical);
        return 1;
    }

    FirstWindows windows(session, [] { QCoreApplication::exit(0); });
    // The list of address books must open; a damaged one is reported and left untouched.
    auto openFolder = [&session, &windows, &options] {
        const QString elenco = store::archive::elencoPath(session.appFolder);
        try {
            store::Database::open(elenco);
        } catch (const store::StoreError& e) {
            platform::MsgBox(QStringLiteral("Impossibile aprire l'elenco delle rubriche %1.\n%2\n"
                                            "Quillet si chiude senza modificare i file.")
                                 .arg(QDir::toNativeSeparators(elenco), e.message()),
                             platform::Icon::Critical);
            return false;
        }
        QWidget* first = windows.open();
        if (!options.screenshot.isEmpty())
            takeScreenshot(first, options.screenshot);
        return true;
    };

    // A folder whose elenco.mdb is the earlier program's is converted first, or the program
    // ends (it cannot work on it). Books a conversion had to leave are named in its report
    // and do not ask again; --convert-jet takes them later.
    if (!migration::isEngineFile(
            migration::fileFormat(store::archive::elencoPath(session.appFolder)))) {
        if (!openFolder())
            return 1;
    } else {
        QApplication::setQuitOnLastWindowClosed(false);
        auto* conversion =
            new JetConversion(session.appFolder, QCoreApplication::applicationFilePath(), &app);
        QObject::connect(conversion, &JetConversion::finished, &app,
                         [&openFolder](bool folderReady) {
                             QApplication::setQuitOnLastWindowClosed(true);
                             if (!folderReady)
                                 QCoreApplication::exit(0);
                             else if (!openFolder())
                                 QCoreApplication::exit(1);
                         });
        conversion->start();
    }
    return QApplication::exec();
}

} // namespace startup
