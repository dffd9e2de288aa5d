#pragma once

#include "core/session.h"
#include "support/testfolder.h"

#include <memory>

// A fresh application folder and session for each test function: a test class derives from
// it and calls these from init() and cleanup().
class FolderTest {
protected:
    void newFolder(const QStringList& books = {QStringLiteral("Principale")}) {
        m_folder = std::make_unique<TestFolder>(books);
        m_session = std::make_unique<Session>();
        m_session->appFolder = m_folder->path();
    }
    void dropFolder() {
        m_session.reset();
        m_folder.reset();
    }
    Session& session() { return *m_session; }

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<Session> m_session;
};
