#pragma once

#include "PolicyRows.h"
#include "RecordingPrompt.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/startup/Clock.h"
#include "core/startup/ConsoleServices.h"
#include "gui/common/SystemListView.h"
#include "gui/mainwindow/MainWindow.h"

#include <QLineEdit>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <memory>

// A shown main window over the groups Labs (PC1, PC2) and Empty and the system LOOSE under the root,
// its questions answered by a recording prompt, with one more control to move the focus to.
struct ConsoleWindow {
    TempDatabase temp;
    kestrava::SystemTree tree;
    kestrava::FixedClock clock{QDateTime(QDate(2026, 3, 6), QTime(10, 0))};
    kestrava::ConsoleServices services{temp.db(), tree, clock};
    RecordingPrompt prompt;
    QString labs = kestrava::Keys::Make_Group_Key(QStringLiteral("Labs"));
    QString empty = kestrava::Keys::Make_Group_Key(QStringLiteral("Empty"));
    int labsId = 0;
    QString pc1, pc2, loose;
    std::unique_ptr<kestrava::MainWindow> window;
    QLineEdit* otherControl = nullptr;

    ConsoleWindow() {
        labsId = PolicyRows::addGroup(temp.db(), QStringLiteral("Labs"));
        PolicyRows::addGroup(temp.db(), QStringLiteral("Empty"));
        pc1 = PolicyRows::addSystem(temp.db(), QStringLiteral("PC1-id"), QStringLiteral("PC1"), labsId);
        pc2 = PolicyRows::addSystem(temp.db(), QStringLiteral("PC2-id"), QStringLiteral("PC2"), labsId);
        loose = PolicyRows::addSystem(temp.db(), QStringLiteral("LOOSE-id"), QStringLiteral("LOOSE"), 0);
        window = std::make_unique<kestrava::MainWindow>(services);
        window->setPrompt(prompt);
        otherControl = new QLineEdit(window.get());
        window->statusBar()->addWidget(otherControl);
        window->show();
        window->activateWindow();
        active = QTest::qWaitForWindowActive(window.get());
    }
    bool active = false;
    QTreeView& treeView() const { return window->treSystems(); }
    kestrava::SystemListView& list() const { return window->lvwSystems(); }
    kestrava::TreeNode* node(const QString& key) const { return tree.Get_Node_Index_From_Key(key); }
    QStringList listColumn(int column = 0) const {
        const QAbstractItemModel& model = *list().detailsView()->model();
        QStringList out;
        for (int row = 0; row < model.rowCount(); ++row)
            out << model.index(row, column).data().toString();
        return out;
    }
    void focus(QWidget* widget) const {
        widget->setFocus();
        QTRY_COMPARE(window->focusWidget(), widget);
    }
    void selectInTree(const QString& key) const {
        window->selectNode(node(key));
        focus(&treeView());
    }
    void selectInList(const QString& key) const {
        const int row = window->listModel().Get_List_Index_From_Key(key) - 1;
        list().selectionModel()->setCurrentIndex(list().detailsView()->model()->index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
        focus(list().activeView());
    }
    // The open label editor, once it has the focus.
    QLineEdit* editor() const {
        QLineEdit* line = nullptr;
        [&] { QTRY_VERIFY((line = qobject_cast<QLineEdit*>(QApplication::focusWidget()))); }();
        return line;
    }
    QString stored(const char* sql, const QString& key) {
        return temp.db().scalar(QString::fromLatin1(sql), {key}).toString();
    }
};
