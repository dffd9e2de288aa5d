#pragma once

#include "app/appstate.h"
#include "support/testfolder.h"

#include <memory>

// A fresh application folder and application state for each test function: a test class
// derives from it and calls these from init() and cleanup().
class FolderTest {
protected:
    void newFolder() {
        m_folder = std::make_unique<TestFolder>();
        appState() = AppState{};
        appState().appFolder = m_folder->path();
    }
    void dropFolder() {
        appState() = AppState{};
        m_folder.reset();
    }

    std::unique_ptr<TestFolder> m_folder;
};
