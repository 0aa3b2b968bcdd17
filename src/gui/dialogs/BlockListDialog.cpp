#include "gui/dialogs/BlockListDialog.h"

#include "core/lists/GroupProgramList.h"

namespace kestrava {

BlockListDialog::BlockListDialog(Database& db, Prompt& prompt, SendLists sendLists, const QString& key,
                                 const QString& text, QWidget* parent)
    : GroupListDialog(std::make_unique<GroupProgramList>(db), prompt, std::move(sendLists),
                      {QStringLiteral("frmBlockedPrograms"), QStringLiteral("Program List - Kestrava"),
                       QStringLiteral("fraTitles"), QStringLiteral("Set The Programs To Be Blocked"),
                       QStringLiteral("lstPrograms"), QStringLiteral("lblProgramList"),
                       QStringLiteral("Exe List"), QStringLiteral("lblAllowedPrograms"),
                       QStringLiteral("Blocked Exes"), QStringLiteral("lblNoOfBlockedPrograms")},
                      parent) {
    Show_Selected_Group(key, text);
    Load_Block_List();
}

} // namespace kestrava
