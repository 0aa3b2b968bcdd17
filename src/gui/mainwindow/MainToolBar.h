#pragma once

#include <QToolBar>
#include <array>

class QMenu;

namespace kestrava {

// tlbMain: each button is an action named after its key; the drop-down buttons carry their items'
// actions, named after the items' keys.
class MainToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit MainToolBar(QWidget* parent = nullptr);

    QAction* AddNewGroup = nullptr;
    QAction* Delete = nullptr;
    QAction* Rename = nullptr;
    QAction* Properties = nullptr;
    QAction* Refresh = nullptr;
    QAction* InternetSetting = nullptr;
    QAction* Scheduler = nullptr;
    QAction* Timer = nullptr;
    QAction* WhiteList = nullptr;
    QAction* AppBlocker = nullptr;
    QAction* BMViews = nullptr;
    QAction* BMTools = nullptr;

    QMenu* internetItems = nullptr;
    QAction* ONInternet = nullptr;
    QAction* OFFInternet = nullptr;
    QMenu* viewItems = nullptr;
    // "LargeIcons", "SmallIcons", "List", "Details": the list's views 0 to 3.
    std::array<QAction*, 4> views{};
    QMenu* toolItems = nullptr;
    QAction* Options = nullptr;

private:
    QAction* addButton(const char* key, const char* toolTip, const char* icon);
    QAction* addDropDown(const char* key, const char* toolTip, const char* icon, QMenu* items);
    QMenu* itemMenu(const char* name);
    static QAction* addItem(QMenu* menu, const char* key, const char* text);
};

} // namespace kestrava
