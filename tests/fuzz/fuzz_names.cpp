// Group and system names as the administrator types them in the tree or the list. An accepted name must
// be stored exactly, give the group its key, and come back unchanged when the tree is built again from
// the database; a refused one must change nothing.

#include "FuzzSupport.h"
#include "TempDatabase.h"
#include "core/console/Keys.h"
#include "core/console/Questions.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/console/TreeLoader.h"
#include "core/management/GroupSystemManager.h"
#include "core/store/StorableText.h"

#include <QSqlQuery>

using namespace kestrava;

namespace {

const QString kGroupKey = QStringLiteral("g\u00c7LAB");
const QString kSystemKey = QStringLiteral("c\u00c7id-1\u00c7PC-1\u00c7");

class Answers final : public Questions {
public:
    void inform(const QString&) override {}
    bool confirm(const QString&) override { return true; }
};

struct State {
    TempDatabase temp;
    SystemTree tree;
    SystemListModel list{tree};
    Answers answers;
    GroupSystemManager manager{temp.db(), tree, list, answers};
};

State* state = nullptr;

QString storedName(const QString& sql, const QString& key) {
    QSqlQuery row = state->temp.db().exec(sql, {key});
    return row.next() ? row.value(0).toString() : QStringLiteral("<no row>");
}

void checkReload(const QString& key, const QString& text) {
    SystemTree reloaded;
    fuzz::check(Load_Systems_Tree(state->temp.db(), reloaded), "the tree cannot be read back", key);
    const TreeNode* node = reloaded.Get_Node_Index_From_Key(key);
    fuzz::check(node != nullptr, "the renamed node is gone after a reload", key);
    fuzz::check(node->key == key && node->text == text, "the reloaded node differs",
                node->key + QStringLiteral(" / ") + node->text);
    fuzz::check(reloaded.count() == state->tree.count(), "the reloaded tree has another size", key);
}

void renameGroup(const QString& key, const QString& name) {
    const QString before =
        storedName(QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_Key=?"), key);
    const bool accepted = state->manager.Change_Group_Or_System_Name(key, name, true);
    if (!accepted) {
        fuzz::check(storedName(QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_Key=?"), key) ==
                        before,
                    "a refused group name changed the database", name);
        return;
    }
    // Stored as the database can give it back.
    const QString stored = StorableText::of(name);
    const QString newKey = Keys::Make_Group_Key(stored);
    fuzz::check(storedName(QStringLiteral("SELECT Group_Name FROM Group_Table WHERE Group_Key=?"), newKey) ==
                    stored,
                "the group name was not stored as typed", name);
    const TreeNode* node = state->tree.Get_Node_Index_From_Key(newKey);
    fuzz::check(node && node->text == stored, "the tree does not show the new group name", name);
    checkReload(newKey, stored);
}

void renameSystem(const QString& name) {
    const QString before =
        storedName(QStringLiteral("SELECT System_Name FROM System_Table WHERE System_Key=?"), kSystemKey);
    const bool accepted = state->manager.Change_Group_Or_System_Name(kSystemKey, name, false);
    const QString after =
        storedName(QStringLiteral("SELECT System_Name FROM System_Table WHERE System_Key=?"), kSystemKey);
    if (!accepted) {
        fuzz::check(after == before, "a refused system name changed the database", name);
        return;
    }
    fuzz::check(after == StorableText::of(name), "the system name was not stored as typed", name);
    checkReload(kSystemKey, after);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startApplication(argc, argv);
    static State instance;
    state = &instance;
    return 0;
}

// Input: per step a byte choosing the group, a new group or the system, then the typed name.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input input(data, size);
    Database& db = state->temp.db();
    db.exec(QStringLiteral("DELETE FROM Group_Table"));
    db.exec(QStringLiteral("DELETE FROM System_Table"));
    db.exec(QStringLiteral("INSERT INTO Group_Table(Group_Key,Group_Name) VALUES(?,?)"),
            {kGroupKey, QStringLiteral("Lab")});
    db.exec(QStringLiteral("INSERT INTO System_Table(System_Key,System_Name,Group_ID) VALUES(?,?,"
                           "(SELECT Group_ID FROM Group_Table WHERE Group_Key=?))"),
            {kSystemKey, QStringLiteral("PC-1"), kGroupKey});
    Load_Systems_Tree(db, state->tree);
    QString groupKey = kGroupKey;
    for (int step = 0; step < 4 && !input.atEnd(); ++step) {
        const int what = input.number(3);
        const QString name = input.typedText();
        if (what == 2) {
            renameSystem(name);
            continue;
        }
        if (what == 1) {
            const TreeNode* added = state->manager.Add_New_Group();
            fuzz::check(added != nullptr, "a new group could not be added", name);
            renameGroup(added->key, name);
            continue;
        }
        renameGroup(groupKey, name);
        if (const TreeNode* renamed =
                state->tree.Get_Node_Index_From_Key(Keys::Make_Group_Key(StorableText::of(name))))
            groupKey = renamed->key;
    }
    return 0;
}
