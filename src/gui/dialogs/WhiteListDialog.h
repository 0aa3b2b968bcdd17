#pragma once

#include "gui/dialogs/GroupListDialog.h"

namespace kestrava {

class Database;

// frmAllowedUrls: one group's white list.
class WhiteListDialog final : public GroupListDialog {
    Q_OBJECT
public:
    // key and text are the main window's selection; only a group is edited.
    WhiteListDialog(Database& db, Prompt& prompt, SendLists sendLists, const QString& key,
                    const QString& text, QWidget* parent);

    void Load_White_List() { loadLists(); }
};

} // namespace kestrava
