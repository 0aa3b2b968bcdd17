#pragma once

#include <QMainWindow>

class QTreeView;
class QLabel;

namespace kestrava {

class Database;
class SystemTree;

// frmMain: the tree of groups and systems beside the list of the chosen node.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow(Database& db, SystemTree& tree, QWidget* parent = nullptr);

private:
    Database& m_db;
    SystemTree& m_tree;
    QTreeView* m_treSystems = nullptr;
    QTreeView* m_lvwSystems = nullptr;
    QLabel* m_versionPanel = nullptr;
};

} // namespace kestrava
