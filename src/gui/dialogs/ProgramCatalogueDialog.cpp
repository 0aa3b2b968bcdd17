#include "gui/dialogs/ProgramCatalogueDialog.h"

#include "core/lists/ProgramCatalogue.h"
#include "gui/dialogs/TipDialog.h"

#include <QEvent>
#include <QLabel>

namespace kestrava {

ProgramCatalogueDialog::ProgramCatalogueDialog(Database& db, Prompt& prompt, SendLists sendLists,
                                               QWidget* parent)
    : CatalogueDialog(std::make_unique<ProgramCatalogue>(db), prompt, std::move(sendLists),
                      {QStringLiteral("frmPrograms"), QStringLiteral("Add Program Names - Kestrava"),
                       QStringLiteral("txtProgram"), QStringLiteral("lblProgramNames"),
                       QStringLiteral("Add Original Filename of Executable (eg:- calc.exe)"),
                       ProgramCatalogue::kMaxLength, QStringLiteral("lvwPrograms"),
                       QStringLiteral("lblProgramList"), QStringLiteral("Program Executables List"),
                       QStringLiteral("Programs"),
                       QStringLiteral("Are you sure you want to Delete all the selected Programs?")},
                      parent) {
    m_lblHelp = new QLabel(QStringLiteral("Help"), this);
    m_lblHelp->setObjectName(QStringLiteral("lblHelp"));
    m_lblHelp->setToolTip(QStringLiteral("Click here to get help."));
    m_lblHelp->setCursor(Qt::WhatsThisCursor);
    // Link colour while enabled only, so that a disabled label turns grey like any other.
    QPalette link = m_lblHelp->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        link.setColor(group, QPalette::WindowText, link.color(group, QPalette::Link));
    m_lblHelp->setPalette(link);
    m_lblHelp->installEventFilter(this);
    addFooter(m_lblHelp);
    Load_Program_List();
}

bool ProgramCatalogueDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_lblHelp && event->type() == QEvent::MouseButtonRelease) {
        showHelp();
        return true;
    }
    return CatalogueDialog::eventFilter(watched, event);
}

void ProgramCatalogueDialog::showHelp() {
    QPalette grey = m_lblHelp->palette();
    grey.setColor(QPalette::WindowText, grey.color(QPalette::Disabled, QPalette::WindowText));
    m_lblHelp->setPalette(grey);
    auto* tip = new TipDialog(this);
    tip->setAttribute(Qt::WA_DeleteOnClose);
    tip->setWindowModality(Qt::ApplicationModal);
    tip->show();
}

} // namespace kestrava
