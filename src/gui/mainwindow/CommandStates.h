#pragma once

#include "core/console/CommandAvailability.h"

#include <QObject>

class QPoint;

namespace kestrava {

class MainMenus;
class MainToolBar;
class MainWindow;
struct TreeNode;

// Offers the commands that fit the selection: the tool bar's policy buttons, the File and Tools menus
// when they open, and the popup menu on a right click in the tree or the list. The tool bar buttons run
// the popup items of the same command.
class CommandStates : public QObject {
    Q_OBJECT
public:
    CommandStates(MainWindow& window, MainMenus& menus, MainToolBar& toolBar, QObject* parent = nullptr);

    void Set_Toolbar_State(SelectionKind kind);
    // Shows mnuPopup at globalPos for node (nullptr: nothing under the pointer); no popup for the root.
    void Show_Popup_Menu(const TreeNode* node, const QPoint& globalPos);
    // Computes the popup's state without showing it; false when no popup belongs to node.
    bool preparePopup(const TreeNode* node);
    void Set_Tools_Menu_State(const QString& key);
    void setFileMenuState();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void forwardToolBar();
    void connectViews();
    void Reset_Popup_Policy_Items();
    void Reset_Tools_Policy_Items();
    void setPopupVisibility(const PopupVisibility& shown);
    void applyPopupPolicy(const PolicyItems& items);
    void prepareViewsDropDown();

    MainWindow& m_window;
    MainMenus& m_menus;
    MainToolBar& m_toolBar;
    CommandAvailability m_availability;
};

} // namespace kestrava
