#pragma once

#include <QMainWindow>

class QTreeView;
class QLabel;

namespace kestrava {

struct ConsoleServices;

// frmMain: the tree of groups and systems beside the list of the chosen node.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(ConsoleServices& services, QWidget* parent = nullptr);

private:
    ConsoleServices& m_services;
    QTreeView* m_treSystems = nullptr;
    QTreeView* m_lvwSystems = nullptr;
    QLabel* m_versionPanel = nullptr;
};

} // namespace kestrava
