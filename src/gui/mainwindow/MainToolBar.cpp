#include "gui/mainwindow/MainToolBar.h"

#include <QIcon>
#include <QMenu>
#include <QToolButton>

namespace kestrava {

namespace {

QIcon toolIcon(const char* name) {
    QIcon icon;
    for (int size : {16, 32})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(QLatin1String(name)).arg(size),
                     QSize(size, size));
    return icon;
}

} // namespace

MainToolBar::MainToolBar(QWidget* parent)
    : QToolBar(parent) {
    setObjectName(QStringLiteral("tlbMain"));
    setWindowTitle(QStringLiteral("Tool Bar"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(24, 24));

    AddNewGroup = addButton("AddNewGroup", "Add New Group", "add-group");
    Delete = addButton("Delete", "Delete Group/System", "delete");
    Rename = addButton("Rename", "Rename Group/System", "rename");
    Properties = addButton("Properties", "Properties", "properties");
    addSeparator()->setObjectName(QStringLiteral("Seperator1"));
    Refresh = addButton("Refresh", "Refresh", "refresh");
    addSeparator();

    internetItems = itemMenu("InternetSettingItems");
    ONInternet = addItem(internetItems, "ONInternet", "ON");
    OFFInternet = addItem(internetItems, "OFFInternet", "OFF");
    InternetSetting = addDropDown("InternetSetting", "Internet Setting", "internet", internetItems);
    Scheduler = addButton("Scheduler", "Scheduler", "scheduler");
    Timer = addButton("Timer", "Timer", "timer");
    addSeparator()->setObjectName(QStringLiteral("Seperator2"));
    WhiteList = addButton("WhiteList", "White List", "whitelist");
    AppBlocker = addButton("AppBlocker", "App Blocker", "appblocker");
    addSeparator();

    viewItems = itemMenu("BMViewsItems");
    views = {addItem(viewItems, "LargeIcons", "Large Icons"), addItem(viewItems, "SmallIcons", "Small Icons"),
             addItem(viewItems, "List", "List"), addItem(viewItems, "Details", "Details")};
    BMViews = addDropDown("BMViews", "Views", "views", viewItems);
    BMViews->setProperty("tag", QStringLiteral("BMViews"));
    toolItems = itemMenu("BMToolsItems");
    Options = addItem(toolItems, "Options", "Options...");
    BMTools = addDropDown("BMTools", "Tools", "tools", toolItems);
}

QAction* MainToolBar::addButton(const char* key, const char* toolTip, const char* icon) {
    QAction* action = addAction(toolIcon(icon), QString::fromLatin1(toolTip));
    action->setObjectName(QLatin1String(key));
    action->setToolTip(QString::fromLatin1(toolTip));
    return action;
}

QAction* MainToolBar::addDropDown(const char* key, const char* toolTip, const char* icon, QMenu* items) {
    QAction* action = addButton(key, toolTip, icon);
    action->setMenu(items);
    if (auto* button = qobject_cast<QToolButton*>(widgetForAction(action)))
        button->setPopupMode(QToolButton::InstantPopup);
    return action;
}

QMenu* MainToolBar::itemMenu(const char* name) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

QAction* MainToolBar::addItem(QMenu* menu, const char* key, const char* text) {
    QAction* action = menu->addAction(QString::fromLatin1(text));
    action->setObjectName(QLatin1String(key));
    return action;
}

} // namespace kestrava
