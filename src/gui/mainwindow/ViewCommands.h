#pragma once

#include <QObject>

class QModelIndex;

namespace kestrava {

class MainMenus;
class MainWindow;

// The list's four views with the View menu's radio mark, Refresh, sorting once by a clicked column, and
// a double click that opens a group or shows a system alone.
class ViewCommands : public QObject {
    Q_OBJECT
public:
    ViewCommands(MainWindow& window, MainMenus& menus, QObject* parent = nullptr);

    // Index 0 large icons, 1 small icons, 2 list, 3 details.
    void setView(int index);
    // Fills the list again for the tree's selected node; the database is not read again.
    void refresh();

private:
    void drillDown(const QModelIndex& item);

    MainWindow& m_window;
    MainMenus& m_menus;
};

} // namespace kestrava
