#pragma once

#include <QObject>
#include <array>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

namespace kestrava {

// The menu bar of frmMain and its popup menu, every item with its caption, access key and objectName.
// Handlers connect to the actions; the windows that own a command decide when it is offered.
class MainMenus : public QObject {
    Q_OBJECT
public:
    MainMenus(QMenuBar* bar, QWidget* owner);

    // "Kestrava ver. " and the version, for mnuHelpKV.
    static QString versionBannerText();

    QMenu* mnuFile = nullptr;
    QMenu* mnuFleGroup = nullptr;
    QAction* mnuFleGroupAddNew = nullptr;
    QAction* mnuFleDelete = nullptr;
    QAction* mnuFleRename = nullptr;
    QAction* mnuFleSynchronise = nullptr;
    QAction* mnuFleWhiteList = nullptr;
    QAction* mnuFleAppBlocker = nullptr;
    QAction* mnuFleProperties = nullptr;
    QAction* mnuFleExit = nullptr;

    QMenu* mnuView = nullptr;
    // Large icons, small icons, list, details: the list's view modes 0 to 3, one of them marked.
    std::array<QAction*, 4> mnuViewType{};
    QActionGroup* viewTypes = nullptr;
    QAction* mnuViewRefresh = nullptr;
    QAction* mnuViewFind = nullptr;

    QMenu* mnuTools = nullptr;
    QMenu* mnuToolsInternet = nullptr;
    std::array<QAction*, 2> mnuToolsInternetOnOff{};
    QAction* mnuToolsScheduler = nullptr;
    QAction* mnuToolsTimer = nullptr;
    QAction* mnuToolsSptrSchedule = nullptr;
    QAction* mnuToolsSetInternetSettingsToClients = nullptr;
    QAction* mnuToolsInheritParentsSchedule = nullptr;
    QAction* mnuToolsClearAllSchedules = nullptr;
    QAction* mnuToolsAddUrls = nullptr;
    QAction* mnuToolsAddProgramNames = nullptr;
    QAction* mnuToolsOptions = nullptr;

    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpUserGuide = nullptr;
    QAction* mnuHlpOnline = nullptr;
    QAction* mnuHelpKV = nullptr;
    QAction* mnuHelpAbout = nullptr;

    QMenu* mnuPopup = nullptr;
    QMenu* mnuPUInternet = nullptr;
    std::array<QAction*, 2> mnuPUInternetOnOff{};
    QAction* mnuPUScheduler = nullptr;
    QAction* mnuPUTimer = nullptr;
    QAction* mnuPUSptrSchedule = nullptr;
    QAction* mnuPUSetInternetSettingsToClients = nullptr;
    QAction* mnuPUInheritParentsSchedule = nullptr;
    QAction* mnuPUClearAllSchedules = nullptr;
    QAction* mnuPUSptr1 = nullptr;
    QMenu* mnuPUGroup = nullptr;
    QAction* mnuPUGroupAddNew = nullptr;
    QAction* mnuPUSptr2 = nullptr;
    QMenu* mnuPUSystem = nullptr;
    QAction* mnuPUSystemSetDefaultName = nullptr;
    QAction* mnuPUSptr3 = nullptr;
    QAction* mnuPUDelete = nullptr;
    QAction* mnuPURename = nullptr;
    QAction* mnuPUSynchronize = nullptr;
    QAction* mnuPUWhiteList = nullptr;
    QAction* mnuPUAppBlocker = nullptr;
    QAction* mnuPUProperties = nullptr;
    QAction* mnuPUSptr4 = nullptr;
    QAction* mnuPURefresh = nullptr;
    QAction* mnuPUSptr5 = nullptr;
    QMenu* mnuPUService = nullptr;
    QAction* mnuPUServiceMakeVisible = nullptr;
    QAction* mnuPUServiceMakeInvisible = nullptr;
    QAction* mnuPUServiceBlankScreen = nullptr;
    QAction* mnuPUServiceTerminate = nullptr;
    QAction* mnuPUServiceUninstall = nullptr;

private:
    void buildFile(QMenuBar* bar);
    void buildView(QMenuBar* bar);
    void buildTools(QMenuBar* bar);
    void buildHelp(QMenuBar* bar);
    void buildPopup(QWidget* owner);
};

} // namespace kestrava
