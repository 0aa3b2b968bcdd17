#include "gui/commands/MainMenus.h"

#include "core/startup/ProductTitle.h"

#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace kestrava {

namespace {

QAction* item(QMenu* menu, const char* name, const char* caption, int index = -1) {
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QLatin1String(name));
    if (index >= 0)
        action->setProperty("index", index);
    return action;
}

QAction* separator(QMenu* menu, const char* name = nullptr) {
    QAction* action = menu->addSeparator();
    if (name)
        action->setObjectName(QLatin1String(name));
    return action;
}

QMenu* submenu(QMenu* menu, const char* name, const char* caption) {
    QMenu* sub = menu->addMenu(QString::fromLatin1(caption));
    sub->setObjectName(QLatin1String(name));
    sub->menuAction()->setObjectName(QLatin1String(name));
    return sub;
}

QMenu* topMenu(QMenuBar* bar, const char* name, const char* caption) {
    QMenu* menu = bar->addMenu(QString::fromLatin1(caption));
    menu->setObjectName(QLatin1String(name));
    return menu;
}

QAction* checkable(QAction* action) {
    action->setCheckable(true);
    return action;
}

} // namespace

MainMenus::MainMenus(QMenuBar* bar, QWidget* owner)
    : QObject(owner) {
    buildFile(bar);
    buildView(bar);
    buildTools(bar);
    buildHelp(bar);
    buildPopup(owner);
}

QString MainMenus::versionBannerText() {
    return QStringLiteral("Kestrava ver. ") + versionText();
}

void MainMenus::buildFile(QMenuBar* bar) {
    mnuFile = topMenu(bar, "mnuFile", "&File");
    mnuFleGroup = submenu(mnuFile, "mnuFleGroup", "&Group");
    mnuFleGroupAddNew = item(mnuFleGroup, "mnuFleGroupAddNew", "Add &New");
    separator(mnuFile);
    mnuFleDelete = item(mnuFile, "mnuFleDelete", "&Delete");
    mnuFleRename = item(mnuFile, "mnuFleRename", "&Rename");
    mnuFleSynchronise = item(mnuFile, "mnuFleSynchronise", "Re&fresh");
    mnuFleWhiteList = item(mnuFile, "mnuFleWhiteList", "&White List");
    mnuFleAppBlocker = item(mnuFile, "mnuFleAppBlocker", "&App Blocker");
    mnuFleProperties = item(mnuFile, "mnuFleProperties", "&Properties");
    separator(mnuFile);
    mnuFleExit = item(mnuFile, "mnuFleExit", "E&xit");
}

void MainMenus::buildView(QMenuBar* bar) {
    mnuView = topMenu(bar, "mnuView", "&View");
    viewTypes = new QActionGroup(this);
    viewTypes->setExclusive(true);
    const char* const captions[] = {"Lar&ge Icons", "S&mall Icons", "&List", "&Details"};
    for (int i = 0; i < 4; ++i) {
        QAction* action = checkable(item(mnuView, "mnuViewType", captions[i], i));
        viewTypes->addAction(action);
        mnuViewType[static_cast<std::size_t>(i)] = action;
    }
    mnuViewType[3]->setChecked(true);
    separator(mnuView);
    mnuViewRefresh = item(mnuView, "mnuViewRefresh", "Re&fresh");
    mnuViewFind = item(mnuView, "mnuViewFind", "&Find System...");
    // The keys every desktop uses, shown beside the commands.
    mnuFleRename->setShortcut(QKeySequence(Qt::Key_F2));
    mnuFleDelete->setShortcut(QKeySequence::Delete);
    mnuViewRefresh->setShortcut(QKeySequence::Refresh);
    mnuViewFind->setShortcut(QKeySequence::Find);
}

void MainMenus::buildTools(QMenuBar* bar) {
    mnuTools = topMenu(bar, "mnuTools", "&Tools");
    mnuToolsInternet = submenu(mnuTools, "mnuToolsInternet", "&Internet");
    mnuToolsInternetOnOff[0] = checkable(item(mnuToolsInternet, "mnuToolsInternetOnOff", "O&N", 0));
    mnuToolsInternetOnOff[1] = checkable(item(mnuToolsInternet, "mnuToolsInternetOnOff", "O&FF", 1));
    mnuToolsScheduler = checkable(item(mnuTools, "mnuToolsScheduler", "&Scheduler"));
    mnuToolsTimer = checkable(item(mnuTools, "mnuToolsTimer", "&Timer"));
    mnuToolsSptrSchedule = separator(mnuTools, "mnuToolsSptrSchedule");
    mnuToolsSetInternetSettingsToClients =
        item(mnuTools, "mnuToolsSetInternetSettingsToClients", "S&et Internet Settings To Clients");
    mnuToolsInheritParentsSchedule =
        item(mnuTools, "mnuToolsInheritParentsSchedule", "In&herit Group Internet Settings");
    mnuToolsClearAllSchedules = item(mnuTools, "mnuToolsClearAllSchedules", "C&lear Internet Settings");
    separator(mnuTools);
    mnuToolsAddUrls = item(mnuTools, "mnuToolsAddUrls", "Add &Urls...");
    mnuToolsAddProgramNames = item(mnuTools, "mnuToolsAddProgramNames", "Add Pro&gram Names...");
    separator(mnuTools);
    mnuToolsOptions = item(mnuTools, "mnuToolsOptions", "&Options...");
}

void MainMenus::buildHelp(QMenuBar* bar) {
    mnuHelp = topMenu(bar, "mnuHelp", "&Help");
    mnuHelpUserGuide = item(mnuHelp, "mnuHelpUserGuide", "&User Guide");
    mnuHlpOnline = item(mnuHelp, "mnuHlpOnline", "&Online Support");
    separator(mnuHelp);
    mnuHelpKV = item(mnuHelp, "mnuHelpKV", "");
    mnuHelpKV->setText(versionBannerText());
    mnuHelpAbout = item(mnuHelp, "mnuHelpAbout", "&About");
}

void MainMenus::buildPopup(QWidget* owner) {
    mnuPopup = new QMenu(owner);
    mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    mnuPUInternet = submenu(mnuPopup, "mnuPUInternet", "&Internet");
    mnuPUInternetOnOff[0] = checkable(item(mnuPUInternet, "mnuPUInternetOnOff", "O&N", 0));
    mnuPUInternetOnOff[1] = checkable(item(mnuPUInternet, "mnuPUInternetOnOff", "O&FF", 1));
    mnuPUScheduler = checkable(item(mnuPopup, "mnuPUScheduler", "&Scheduler"));
    mnuPUTimer = checkable(item(mnuPopup, "mnuPUTimer", "&Timer"));
    mnuPUSptrSchedule = separator(mnuPopup, "mnuPUSptrSchedule");
    mnuPUSetInternetSettingsToClients =
        item(mnuPopup, "mnuPUSetInternetSettingsToClients", "S&et Internet Settings To Clients");
    mnuPUInheritParentsSchedule =
        item(mnuPopup, "mnuPUInheritParentsSchedule", "In&herit Group Internet Settings");
    mnuPUClearAllSchedules = item(mnuPopup, "mnuPUClearAllSchedules", "C&lear Internet Settings");
    mnuPUSptr1 = separator(mnuPopup, "mnuPUSptr1");
    mnuPUGroup = submenu(mnuPopup, "mnuPUGroup", "&Group");
    mnuPUGroupAddNew = item(mnuPUGroup, "mnuPUGroupAddNew", "Add &New");
    mnuPUSptr2 = separator(mnuPopup, "mnuPUSptr2");
    mnuPUSystem = submenu(mnuPopup, "mnuPUSystem", "S&ystem");
    mnuPUSystemSetDefaultName = item(mnuPUSystem, "mnuPUSystemSetDefaultName", "Set &Default Name");
    mnuPUSptr3 = separator(mnuPopup, "mnuPUSptr3");
    mnuPUDelete = item(mnuPopup, "mnuPUDelete", "&Delete");
    mnuPURename = item(mnuPopup, "mnuPURename", "&Rename");
    mnuPUSynchronize = item(mnuPopup, "mnuPUSynchronize", "Refresh");
    mnuPUWhiteList = item(mnuPopup, "mnuPUWhiteList", "&White List");
    mnuPUAppBlocker = item(mnuPopup, "mnuPUAppBlocker", "&App Blocker");
    mnuPUProperties = item(mnuPopup, "mnuPUProperties", "&Properties");
    mnuPUSptr4 = separator(mnuPopup, "mnuPUSptr4");
    mnuPURefresh = item(mnuPopup, "mnuPURefresh", "Re&fresh");
    mnuPUSptr5 = separator(mnuPopup, "mnuPUSptr5");
    mnuPUService = submenu(mnuPopup, "mnuPUService", "Ser&vice");
    mnuPUServiceMakeVisible = item(mnuPUService, "mnuPUServiceMakeVisible", "Make &Visible");
    mnuPUServiceMakeInvisible = item(mnuPUService, "mnuPUServiceMakeInvisible", "Make &Invisible");
    mnuPUServiceBlankScreen = checkable(item(mnuPUService, "mnuPUServiceBlankScreen", "&Blank Screen"));
    mnuPUServiceTerminate = item(mnuPUService, "mnuPUServiceTerminate", "&Terminate");
    separator(mnuPUService);
    mnuPUServiceUninstall = item(mnuPUService, "mnuPUServiceUninstall", "&Un-Install");
}

} // namespace kestrava
