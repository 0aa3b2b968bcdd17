#pragma once

#include "gui/dialogs/CatalogueDialog.h"

namespace kestrava {

class Database;

// frmUrl: the URL catalogue.
class UrlCatalogueDialog final : public CatalogueDialog {
    Q_OBJECT
public:
    UrlCatalogueDialog(Database& db, Prompt& prompt, SendLists sendLists, QWidget* parent);

    void Load_URL_List() { loadList(); }
    void Delete_Selected_URLs() { deleteSelected(); }
};

} // namespace kestrava
