#pragma once

#include "gui/dialogs/CatalogueDialog.h"

class QLabel;

namespace kestrava {

class Database;

// frmPrograms: the program catalogue, with a help label that opens frmTip.
class ProgramCatalogueDialog final : public CatalogueDialog {
    Q_OBJECT
public:
    ProgramCatalogueDialog(Database& db, Prompt& prompt, SendLists sendLists, QWidget* parent);

    void Load_Program_List() { loadList(); }
    void Delete_Selected_Programs() { deleteSelected(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showHelp();

    QLabel* m_lblHelp = nullptr;
};

} // namespace kestrava
