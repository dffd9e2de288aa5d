#pragma once

#include <QAbstractItemModel>
#include <QApplication>
#include <QStringList>
#include <QTreeWidget>
#include <QWidget>

// The window of the program with this object name that is on screen, if any.
template <class Window> Window* shownWindow(const char* objectName) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(objectName) && w->isVisible())
            if (auto* window = qobject_cast<Window*>(w))
                return window;
    return nullptr;
}

// The texts of a list, a combo box or a list view, from the top.
inline QStringList texts(const QAbstractItemModel* model) {
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i)
        out << model->index(i, 0).data().toString();
    return out;
}

// The address books of the main window's tree, from the top.
inline QStringList treeBooks(const QWidget* mainWindow) {
    QStringList out;
    const auto* root =
        mainWindow->findChild<QTreeWidget*>(QStringLiteral("TreeView1"))->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i)
        out << root->child(i)->text(0);
    return out;
}

// The texts of one column of an archive list, from the top.
template <class Model> QStringList column(const Model& model, int c) {
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.text(r, c);
    return out;
}
