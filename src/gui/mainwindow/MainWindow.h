#pragma once

#include "core/console/RemoteAddressLookup.h"
#include "gui/common/SystemsWindow.h"

#include <QMainWindow>
#include <QTimer>
#include <memory>

class QSplitter;
class QTreeView;
class QLabel;

namespace kestrava {

class CommandStates;
class HelpCommands;
class ConnectionManager;
class ConsoleSelection;
class MainLayout;
class MainToolBar;
class ManagementCommands;
class Messenger;
class Prompt;
class ServiceMenuCommands;
class StatusPanels;
class ViewCommands;
class ListCommands;
class MainMenus;
class NodeIconProxy;
class PolicyColumnProxy;
class PolicyLines;
class PolicyMenuCommands;
class SystemListModel;
class SystemListView;
class SystemTreeModel;
class TraySwitch;
struct ConsoleServices;
struct TreeNode;

// frmMain: the tree of groups and systems beside the list of the chosen node.
class MainWindow : public QMainWindow, public SystemsWindow {
    Q_OBJECT
public:
    explicit MainWindow(ConsoleServices& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    QWidget& widget() override { return *this; }

    ConsoleServices& services() const override { return m_services; }
    MainMenus& menus() const { return *m_menus; }
    ConsoleSelection& selection() const override { return *m_selection; }
    ListCommands& listCommands() const { return *m_listCommands; }
    PolicyMenuCommands& policyCommands() const { return *m_policyCommands; }
    QTreeView& treSystems() const override { return *m_treSystems; }
    SystemListView& lvwSystems() const override { return *m_lvwSystems; }
    SystemListModel& listModel() const override { return *m_listModel; }
    SystemTreeModel& treeModel() const override { return *m_treeModel; }
    MainToolBar& tlbMain() const { return *m_tlbMain; }
    ManagementCommands& managementCommands() const { return *m_managementCommands; }
    CommandStates& commandStates() const { return *m_commandStates; }
    ViewCommands& viewCommands() const { return *m_viewCommands; }
    MainLayout& mainLayout() const { return *m_mainLayout; }
    HelpCommands& helpCommands() const { return *m_helpCommands; }
    ServiceMenuCommands& serviceCommands() const { return *m_serviceCommands; }
    PolicyLines& policyLines() const override { return *m_policyLines; }

    // The message boxes of the window's own commands; message boxes over this window until set.
    void setPrompt(Prompt& prompt);
    // Moves send their messages and deletion knows connected systems once the link is set; the list's
    // IP addresses and live rows come from it too.
    void setLink(ConnectionManager* connections, Messenger* messenger);

    // The notification-area icon (g_objSysTray), once the shell has put it there.
    TraySwitch* sysTray() const { return m_sysTray; }
    void setSysTray(TraySwitch* tray);

    // Where the list finds the IP address of a connected system.
    void setRemoteAddressLookup(RemoteAddressLookup lookup);
    void Show_Node_In_List(const TreeNode* node) override;
    void selectNode(const TreeNode* node) override;
    // Restores size, position, splitter, view and column widths from file and writes them there whenever
    // the window is hidden or closed.
    void rememberLayoutIn(const QString& file);

protected:
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildViews();
    void sizeColumnsSoon();
    void sizeColumnsToRows();
    void buildCommands();
    void loadSystems();
    void saveLayout() const;

    ConsoleServices& m_services;
    MainMenus* m_menus = nullptr;
    SystemTreeModel* m_treeModel = nullptr;
    NodeIconProxy* m_treeIcons = nullptr;
    SystemListModel* m_listModel = nullptr;
    NodeIconProxy* m_listIcons = nullptr;
    PolicyLines* m_policyLines = nullptr;
    PolicyColumnProxy* m_listPolicy = nullptr;
    QTreeView* m_treSystems = nullptr;
    SystemListView* m_lvwSystems = nullptr;
    std::unique_ptr<ConsoleSelection> m_selection;
    std::unique_ptr<Prompt> m_ownPrompt;
    QSplitter* m_splitter = nullptr;
    MainToolBar* m_tlbMain = nullptr;
    ManagementCommands* m_managementCommands = nullptr;
    CommandStates* m_commandStates = nullptr;
    ViewCommands* m_viewCommands = nullptr;
    MainLayout* m_mainLayout = nullptr;
    StatusPanels* m_statusPanels = nullptr;
    HelpCommands* m_helpCommands = nullptr;
    ServiceMenuCommands* m_serviceCommands = nullptr;
    QMetaObject::Connection m_linkRows;
    ListCommands* m_listCommands = nullptr;
    PolicyMenuCommands* m_policyCommands = nullptr;
    QLabel* m_versionPanel = nullptr;
    TraySwitch* m_sysTray = nullptr;
    QString m_layoutFile;
    // Columns are fitted to their contents once, at the first show, unless widths were remembered.
    // The administrator set a column's width, here or in a saved layout.
    bool m_columnsKept = false;
    bool m_sizingColumns = false;
    bool m_wasShown = false;
    QTimer m_sizeColumns;
};

} // namespace kestrava
