#include "CrashScript.h"

#include "core/console/Keys.h"
#include "core/console/TreeLoader.h"
#include "core/lists/GroupProgramList.h"
#include "core/lists/GroupUrlList.h"
#include "core/lists/ProgramCatalogue.h"
#include "core/lists/UrlCatalogue.h"
#include "core/policy/ScheduleModel.h"
#include "core/policy/TimerModel.h"
#include "core/store/Database.h"
#include "protocol/Fields.h"
#include "protocol/Identification.h"

#include <QSqlRecord>

using namespace kestrava;

namespace {

// Each command happens a minute after the one before.
constexpr int kSecondsPerCommand = 61;

QString identificationOf(const QString& identifier, const QString& name) {
    return encodeIdentification({identifier, name, QStringLiteral("1.4")});
}

QList<int> someRows(std::mt19937& random, int size, int most) {
    QList<int> rows;
    if (size <= 0)
        return rows;
    const int count = 1 + static_cast<int>(random() % static_cast<unsigned>(std::min(size, most)));
    for (int i = 0; i < count; ++i)
        rows << static_cast<int>(random() % static_cast<unsigned>(size));
    return rows;
}

} // namespace

CrashScript::CrashScript(Database& db, quint32 seed)
    : m_db(db)
    , m_random(seed)
    , m_clock(QDateTime(QDate(2026, 3, 13), QTime(8, 0)))
    , m_list(m_tree)
    , m_connections(db, m_tree)
    , m_messenger(db, m_tree, m_connections, m_clock)
    , m_incoming(db, m_tree, m_clock, m_connections, m_messenger)
    , m_policy(db, m_messenger)
    , m_manager(db, m_tree, m_list, m_answers)
    , m_service(db, m_connections, m_messenger) {
    m_manager.setLink(&m_connections, &m_messenger);
    QObject::connect(&m_incoming, &IncomingMessages::errorOccurred,
                     [this](const QString& message) { m_errors << message; });
    Load_Systems_Tree(m_db, m_tree);
}

void CrashScript::setUp() {
    for (int g = 1; g <= kGroups; ++g) {
        const TreeNode* group = m_manager.Add_New_Group();
        const QString name = QStringLiteral("Floor %1").arg(g);
        m_manager.Change_Group_Or_System_Name(group->key, name, false);
        m_db.exec(QStringLiteral("UPDATE Settings_Table SET AddToGroup=?"), {name});
        for (int s = 1; s <= kSystemsPerGroup; ++s) {
            const QString id = QStringLiteral("%1-%2").arg(g).arg(s);
            m_incoming.handleMessage(
                0, identificationOf(QStringLiteral("id-") + id, QStringLiteral("PC-") + id));
        }
    }
    UrlCatalogue urls(m_db);
    ProgramCatalogue programs(m_db);
    urls.load();
    programs.load();
    for (int i = 1; i <= kCatalogueSize; ++i) {
        urls.add(QStringLiteral("site-%1.example.org").arg(i));
        programs.add(QStringLiteral("tool-%1.exe").arg(i));
    }
}

int CrashScript::pick(int count) {
    return count <= 0 ? 0 : static_cast<int>(m_random() % static_cast<unsigned>(count));
}

TreeNode* CrashScript::randomNode(bool group) {
    std::vector<TreeNode*> nodes;
    for (TreeNode* node : m_tree.nodesInOrder())
        if (group ? Keys::Is_Group_Key(node->key) : Keys::Is_System_Key(node->key))
            nodes.push_back(node);
    return nodes[static_cast<std::size_t>(pick(static_cast<int>(nodes.size())))];
}

PolicyTarget CrashScript::randomTarget() {
    if (pick(2) == 0)
        return {randomNode(true)->key, {}, {}, {}};
    const TreeNode* system = randomNode(false);
    PolicyTarget target;
    target.systemKey = system->key;
    target.systemName = system->text;
    if (system->parent && Keys::Is_Group_Key(system->parent->key))
        target.groupKey = system->parent->key;
    return target;
}

QString CrashScript::runNext() {
    ++m_count;
    m_clock.advance(kSecondsPerCommand);
    if (m_stormLeft > 0) {
        --m_stormLeft;
        return identification();
    }
    using Command = QString (CrashScript::*)();
    // Each command below the number it is paired with; a storm of identifications above the last.
    static constexpr std::pair<int, Command> kCommands[] = {
        {25, &CrashScript::policy},         {40, &CrashScript::scheduleApply},
        {50, &CrashScript::timerApply},     {65, &CrashScript::listMove},
        {75, &CrashScript::systemsMove},    {80, &CrashScript::blankScreen},
        {88, &CrashScript::catalogueChange}};
    const int what = pick(100);
    for (const auto& [below, command] : kCommands)
        if (what < below)
            return (this->*command)();
    m_stormLeft = 10 + pick(21);
    return identification();
}

// The last choice takes the branch only a group or only a system has.
QString CrashScript::policy() {
    const PolicyTarget target = randomTarget();
    const bool group = target.systemKey.isEmpty();
    const QString key = group ? target.groupKey : target.systemKey;
    switch (pick(3)) {
    case 0:
        m_policy.setInternet(key, pick(2) == 0);
        return QStringLiteral("internet");
    case 1:
        m_policy.clearInternetSettings(key);
        return QStringLiteral("clear");
    default:
        if (group)
            m_policy.setInternetSettingsToClients(key);
        else
            m_policy.inheritGroupInternetSettings(key);
        return QStringLiteral("settings to clients or inherits");
    }
}

QString CrashScript::scheduleApply() {
    ScheduleModel model(m_db, m_clock, m_messenger);
    model.open(randomTarget());
    model.clear();
    const int ranges = pick(ScheduleModel::kMaxRanges + 1);
    for (int i = 0; i < ranges; ++i) {
        const int startHour = pick(23);
        model.setStartTime(QTime(startHour, pick(60)));
        model.setStopTime(QTime(startHour + 1 + pick(23 - startHour), pick(60)));
        model.add();
    }
    model.setRecurrence(static_cast<ScheduleModel::Recurrence>(pick(3)));
    for (int day = 0; day < 7; ++day)
        model.setWeekDay(day, pick(2) == 0);
    for (int month = 0; month < 12; ++month)
        model.setMonth(month, pick(2) == 0);
    model.setBlockInternet(pick(2) == 0);
    model.apply(ScheduleModel::EmptyAnswer::Yes);
    return QStringLiteral("schedule apply");
}

QString CrashScript::timerApply() {
    TimerModel model(m_db, m_clock, m_messenger);
    model.open(randomTarget());
    model.setOnTimer(pick(2) == 0);
    model.setPeriod(QTime(pick(24), pick(60)));
    model.apply();
    return QStringLiteral("timer apply");
}

QString CrashScript::listMove() {
    const std::unique_ptr<GroupList> list = pick(2) == 0 ? std::unique_ptr<GroupList>(new GroupUrlList(m_db))
                                                         : std::make_unique<GroupProgramList>(m_db);
    list->setGroupKey(randomNode(true)->key);
    list->load();
    if (pick(3) == 0 && !list->listed().isEmpty()) {
        list->moveBack(someRows(m_random, static_cast<int>(list->listed().size()), 20));
        return QStringLiteral("list move back");
    }
    list->moveTo(someRows(m_random, static_cast<int>(list->available().size()), 20));
    return QStringLiteral("list move to");
}

QString CrashScript::systemsMove() {
    const TreeNode* origin = pick(4) == 0 ? m_tree.root() : randomNode(true);
    QStringList keys;
    for (const auto& child : origin->children)
        if (Keys::Is_System_Key(child->key) && pick(4) == 0)
            keys << child->key;
    m_manager.Move_Selected_Systems(pick(5) == 0 ? m_tree.root() : randomNode(true), origin, keys);
    return QStringLiteral("systems move");
}

QString CrashScript::blankScreen() {
    m_service.blankScreen(randomNode(pick(2) == 0)->key, pick(2) == 0);
    return QStringLiteral("blank screen");
}

QString CrashScript::catalogueChange() {
    const bool urls = pick(2) == 0;
    const std::unique_ptr<Catalogue> catalogue =
        urls ? std::unique_ptr<Catalogue>(new UrlCatalogue(m_db)) : std::make_unique<ProgramCatalogue>(m_db);
    catalogue->load();
    if (pick(2) == 0) {
        catalogue->removeRows(someRows(m_random, catalogue->count(), 5));
        return QStringLiteral("catalogue delete");
    }
    catalogue->add(urls ? QStringLiteral("new-%1.example.org").arg(m_count)
                        : QStringLiteral("new-%1.exe").arg(m_count));
    return QStringLiteral("catalogue add");
}

QString CrashScript::identification() {
    if (pick(3) == 0) {
        const TreeNode* known = randomNode(false);
        m_incoming.handleMessage(0, identificationOf(Get_Field(known->key, 1), Get_Field(known->key, 2)));
        return QStringLiteral("identification, known");
    }
    ++m_newSystems;
    const QString id = QStringLiteral("storm-%1").arg(m_newSystems);
    m_incoming.handleMessage(0, identificationOf(id, QStringLiteral("NEW-%1").arg(m_newSystems)));
    return QStringLiteral("identification, new");
}

QString CrashScript::dump(Database& db) {
    QString text;
    for (const QSqlRecord& table :
         db.rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"))) {
        text += table.value(0).toString() + QLatin1Char('\n');
        for (const QSqlRecord& row :
             db.rows(QStringLiteral("SELECT * FROM %1 ORDER BY rowid").arg(table.value(0).toString()))) {
            for (int i = 0; i < row.count(); ++i)
                text += row.value(i).toString() + QLatin1Char('|');
            text += QLatin1Char('\n');
        }
    }
    return text;
}

QString CrashScript::integrity(Database& db) {
    return db.scalar(QStringLiteral("PRAGMA integrity_check")).toString();
}
