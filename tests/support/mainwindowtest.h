#pragma once

#include "app/mainwindow.h"
#include "browser/archivebrowser.h"
#include "browser/archivemodel.h"
#include "core/session.h"
#include "platform/dialogs.h"
#include "support/foldertest.h"
#include "support/shownwindow.h"

#include <QtTest>

#include <memory>

// The main window on a throw-away folder, its list filled by the first click, and a script
// that answers every box. A test class derives from it and fills m_folder before start().
class MainWindowTest : protected FolderTest {
protected:
    void start(int rows) {
        m_session = std::make_unique<Session>();
        m_session->appFolder = m_folder->path();
        m_window = std::make_unique<MainWindow>(*m_session);
        m_window->load();
        m_window->onTreeNodeClicked(); // the first click fills the list
        QTRY_COMPARE(m_window->browser()->model()->rowCount(), rows);
        m_script = std::make_unique<platform::DialogScript>();
    }
    void stop() {
        m_script.reset();
        m_window.reset();
        dropFolder();
    }

    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<platform::DialogScript> m_script;
};
