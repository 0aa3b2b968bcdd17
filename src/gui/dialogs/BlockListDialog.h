#pragma once

#include "gui/dialogs/GroupListDialog.h"

namespace kestrava {

class Database;

// frmBlockedPrograms: one group's block list.
class BlockListDialog final : public GroupListDialog {
    Q_OBJECT
public:
    // key and text are the main window's selection; only a group is edited.
    BlockListDialog(Database& db, Prompt& prompt, SendLists sendLists, const QString& key,
                    const QString& text, QWidget* parent);

    void Load_Block_List() { loadLists(); }
};

} // namespace kestrava
