#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct Session;
class LoginWindow;
class DisclaimerWindow;
class MainWindow;
class QWidget;

// The command line and the road from it to the main window.
namespace startup {

struct Options {
    QString folder;      // --folder DIR
    QString screenshot;  // --screenshot FILE
    QString convertJet;  // --convert-jet DIR
    QString countJet;    // --count-jet DIR
    QStringList jetFile; // --jet-file SOURCE ROLE [TARGET]: the conversion's child
    bool help = false;
    bool version = false;
    QString error; // an unknown option or a missing value
};

Options parseOptions(const QStringList& arguments);
QString helpText();

// The first windows of a run, on the session's application folder: the disclaimer while it has not
// been accepted, the login while the user file holds a user, then the main window. Refusing the
// disclaimer or closing the login calls `quit`.
class FirstWindows final {
public:
    FirstWindows(Session& session, std::function<void()> quit);
    ~FirstWindows();
    FirstWindows(const FirstWindows&) = delete;
    FirstWindows& operator=(const FirstWindows&) = delete;

    // Shows the disclaimer when mostra.txt asks for it, otherwise the login or the main window
    // (its start-up runs); returns the window shown.
    QWidget* open();

    DisclaimerWindow* disclaimer() const { return m_disclaimer.get(); }
    LoginWindow* login() const { return m_login.get(); }
    MainWindow* mainWindow() const { return m_main.get(); }

private:
    QWidget* openLogin();
    void openMain();
    void settleSends();

    Session& m_session;
    std::function<void()> m_quit;
    std::unique_ptr<DisclaimerWindow> m_disclaimer;
    std::unique_ptr<LoginWindow> m_login;
    std::unique_ptr<MainWindow> m_main;
};

// Runs the program; returns the process's exit code.
int run(int argc, char** argv);

} // namespace startup
