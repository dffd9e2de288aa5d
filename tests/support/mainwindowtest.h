#pragma once

#include "app/appstate.h"
#include "app/mainwindow.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "platform/dialogs.h"
#include "support/testfolder.h"

#include <QtTest>

#include <memory>

// The main window on a throw-away folder, its list filled by the first click, and a script
// that answers every box. A test class derives from it and fills m_folder before start().
class MainWindowTest {
protected:
    void start(int rows) {
        appState() = AppState{};
        appState().appFolder = m_folder->path();
        m_window = std::make_unique<MainWindow>();
        m_window->load();
        m_window->onTreeNodeClicked(); // the first click fills the list
        QTRY_COMPARE(m_window->browser()->model()->rowCount(), rows);
        m_script = std::make_unique<platform::DialogScript>();
    }
    void stop() {
        m_script.reset();
        m_window.reset();
        appState() = AppState{};
        m_folder.reset();
    }

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<platform::DialogScript> m_script;
};
