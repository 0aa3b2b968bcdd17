#include "gui/dialogs/UrlCatalogueDialog.h"

#include "core/lists/UrlCatalogue.h"

namespace kestrava {

UrlCatalogueDialog::UrlCatalogueDialog(Database& db, Prompt& prompt, SendLists sendLists, QWidget* parent)
    : CatalogueDialog(std::make_unique<UrlCatalogue>(db), prompt, std::move(sendLists),
                      {QStringLiteral("frmUrl"), QStringLiteral("Add Urls - Kestrava"),
                       QStringLiteral("txtURL"), QStringLiteral("lblURL"),
                       QStringLiteral("Add URL or IP Address (eg:- www.example.com)"),
                       UrlCatalogue::kMaxLength, QStringLiteral("lvwURL"), QStringLiteral("lblUrlList"),
                       QStringLiteral("URL List"), QStringLiteral("URL List"),
                       QStringLiteral("Are you sure you want to Delete all the selected URLs?")},
                      parent) {
    Load_URL_List();
}

} // namespace kestrava
