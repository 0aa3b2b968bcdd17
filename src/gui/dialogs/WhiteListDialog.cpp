#include "gui/dialogs/WhiteListDialog.h"

#include "core/lists/GroupUrlList.h"

namespace kestrava {

WhiteListDialog::WhiteListDialog(Database& db, Prompt& prompt, SendLists sendLists, const QString& key,
                                 const QString& text, QWidget* parent)
    : GroupListDialog(std::make_unique<GroupUrlList>(db), prompt, std::move(sendLists),
                      {QStringLiteral("frmAllowedUrls"), QStringLiteral("White List - Kestrava"),
                       QStringLiteral("fraURLs"), QStringLiteral("Set the White List"),
                       QStringLiteral("lstURLs"), QStringLiteral("lblURLList"), QStringLiteral("URL List"),
                       QStringLiteral("lblAllowedURLs"), QStringLiteral("White List"),
                       QStringLiteral("lblNoWhiteList")},
                      parent) {
    Show_Selected_Group(key, text);
    Load_White_List();
}

} // namespace kestrava
