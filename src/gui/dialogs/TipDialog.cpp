#include "gui/dialogs/TipDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrava {

TipDialog::TipDialog(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmTip"));
    const QString title = QStringLiteral("Locate Original Filename");
    setWindowTitle(title);

    auto* heading = new QLabel(title, this);
    heading->setObjectName(QStringLiteral("lblHeading"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto* text =
        new QLabel(QStringLiteral("To locate the Original Filename, right click on the exe file and "
                                  "select Properties.  Select the Version tab and click on Original "
                                  "Filename in the Item Name box.  The value of the Original Filename "
                                  "is located in the adjacent Value box."),
                   this);
    text->setObjectName(QStringLiteral("lblTip"));
    text->setWordWrap(true);
    text->setFixedWidth(360);
    auto* cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(text);
    layout->addWidget(cmdOK, 0, Qt::AlignRight);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace kestrava
