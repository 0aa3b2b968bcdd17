#include "core/console/Keys.h"
#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/link/Messenger.h"
#include "core/startup/Clock.h"
#include "core/startup/ConsoleServices.h"
#include "core/store/Database.h"
#include "core/store/DatabaseError.h"
#include "gui/commands/MainMenus.h"
#include "gui/mainwindow/CommandStates.h"
#include "gui/mainwindow/MainWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>

using namespace kestrava;

// Checks every menu path that the user guide names (**File > Group > Add New**) against the real menus,
// then photographs the real windows over a scratch database for the guide's images. Fails when a named
// menu item is gone or when the guide shows an image that was not taken.
namespace {

constexpr int kMaxImageWidth = 560;

QString caption(const QAction* action) {
    return action->text().remove(QLatin1Char('&'));
}

// The action of the path's items in menu, or nullptr.
const QAction* find(const QMenu* menu, const QStringList& path) {
    for (const QAction* action : menu->actions()) {
        if (caption(action) != path.front())
            continue;
        if (path.size() == 1)
            return action;
        if (action->menu())
            return find(action->menu(), path.mid(1));
    }
    return nullptr;
}

bool pathExists(const MainMenus& menus, const QStringList& path) {
    const QMenu* top[] = {menus.mnuFile, menus.mnuView, menus.mnuTools, menus.mnuHelp};
    for (const QMenu* menu : top) {
        if (menu->title().remove(QLatin1Char('&')) == path.front())
            return path.size() > 1 && find(menu, path.mid(1));
    }
    // Paths that name no menu of the bar are the popup menu's.
    return find(menus.mnuPopup, path) != nullptr;
}

int missingMenus(const QString& guide, const MainMenus& menus) {
    static const QRegularExpression bold(QStringLiteral(R"(\*\*([^*]+ > [^*]+)\*\*)"));
    int missing = 0;
    for (const QRegularExpressionMatch& match : bold.globalMatch(guide)) {
        const QStringList path = match.captured(1).simplified().split(QStringLiteral(" > "));
        if (!pathExists(menus, path)) {
            std::fprintf(stderr, "user guide: no menu item %s\n", qPrintable(match.captured(1).simplified()));
            ++missing;
        }
    }
    return missing;
}

class Photographer {
public:
    explicit Photographer(QString folder)
        : m_folder(std::move(folder)) {}

    void take(QWidget& widget, const QString& name) {
        QCoreApplication::processEvents();
        QImage image = widget.grab().toImage();
        if (image.width() > kMaxImageWidth)
            image = image.scaledToWidth(kMaxImageWidth, Qt::SmoothTransformation);
        if (!image.save(m_folder + QLatin1Char('/') + name))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
    }
    void takeMenu(QMenu& menu, const QString& name) {
        menu.popup(QPoint(0, 0));
        take(menu, name);
        menu.hide();
    }
    // The top-level window named objectName that the last command opened; closed once taken.
    void takeWindow(const char* objectName, const QString& name) {
        QCoreApplication::processEvents();
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->objectName() == QLatin1String(objectName)) {
                take(*widget, name);
                widget->close();
                return;
            }
        }
        std::fprintf(stderr, "user guide: the window %s did not open\n", objectName);
    }

private:
    QString m_folder;
};

void addSampleNetwork(Database& db) {
    const auto group = [&db](const QString& name) {
        db.exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,?)"),
                {Keys::Make_Group_Key(name), name});
        return db.scalar(QStringLiteral("SELECT Group_ID FROM Group_Table WHERE Group_Name=?"), {name})
            .toInt();
    };
    const auto system = [&db](const QString& name, int groupId) {
        db.exec(QStringLiteral("INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,?,?)"),
                {Keys::Make_System_Key(name + QStringLiteral("-id"), name), name, groupId});
    };
    const int labs = group(QStringLiteral("Labs"));
    const int office = group(QStringLiteral("Office"));
    for (const char* name : {"LAB-PC01", "LAB-PC02", "LAB-PC03"})
        system(QString::fromLatin1(name), labs);
    system(QStringLiteral("RECEPTION"), office);
    system(QStringLiteral("LAPTOP-7"), 0);
}

void select(MainWindow& window, const QString& key) {
    window.selectNode(window.services().tree.Get_Node_Index_From_Key(key));
    window.treSystems().setFocus();
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: kestrava-guide-shots <guide.md> <image folder>\n", stderr);
        return 2;
    }
    QFile source(args.at(1));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(args.at(1)), qPrintable(source.errorString()));
        return 1;
    }
    const QString guide = QString::fromUtf8(source.readAll());
    const QString folder = args.at(2);
    QDir().mkpath(folder);

    QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("kestrava.tlmr"));
    Database db;
    SystemTree tree;
    FixedClock clock(QDateTime(QDate(2026, 3, 6), QTime(10, 0)));
    try {
        Database::createFactory(path);
        db.open(path);
        addSampleNetwork(db);
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.toMessage()));
        return 1;
    }
    ConnectionManager connections(db, tree);
    Messenger messenger(db, tree, connections, clock);
    ConsoleServices services{db, tree, clock, &connections, &messenger};
    MainWindow window(services);
    const MainMenus& menus = window.menus();
    if (missingMenus(guide, menus) > 0)
        return 1;

    window.resize(820, 480);
    window.show();
    window.treSystems().expandAll();
    const QString labs = Keys::Make_Group_Key(QStringLiteral("Labs"));
    Photographer camera(folder);
    select(window, labs);
    camera.take(window, QStringLiteral("main-window.png"));
    camera.takeMenu(*menus.mnuFile, QStringLiteral("menu-file.png"));
    camera.takeMenu(*menus.mnuTools, QStringLiteral("menu-tools.png"));
    window.commandStates().preparePopup(window.services().tree.Get_Node_Index_From_Key(labs));
    camera.takeMenu(*menus.mnuPopup, QStringLiteral("menu-popup.png"));

    menus.mnuToolsScheduler->trigger();
    camera.takeWindow("frmSchedule", QStringLiteral("scheduler.png"));
    menus.mnuToolsTimer->trigger();
    camera.takeWindow("frmTimer", QStringLiteral("timer.png"));
    menus.mnuToolsOptions->trigger();
    camera.takeWindow("frmSettings", QStringLiteral("options.png"));
    select(window, Keys::Make_System_Key(QStringLiteral("LAB-PC01-id"), QStringLiteral("LAB-PC01")));
    menus.mnuFleProperties->trigger();
    camera.takeWindow("frmProperties", QStringLiteral("properties.png"));
    // Last: the new group's name stays open for typing.
    menus.mnuFleGroupAddNew->trigger();
    camera.take(window.treSystems(), QStringLiteral("new-group.png"));

    static const QRegularExpression image(QStringLiteral(R"(!\[[^\]]*\]\(([^)]+)\))"));
    int absent = 0;
    for (const QRegularExpressionMatch& match : image.globalMatch(guide)) {
        if (!QFile::exists(folder + QLatin1Char('/') + match.captured(1))) {
            std::fprintf(stderr, "user guide: no image %s\n", qPrintable(match.captured(1)));
            ++absent;
        }
    }
    return absent > 0 ? 1 : 0;
}
