#include "gui/shell/PasswordDialog.h"

#include "core/startup/ConsoleAccess.h"
#include "core/startup/ProductTitle.h"
#include "core/store/Database.h"
#include "gui/common/Prompt.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrava {

PasswordDialog::PasswordDialog(Database& db, Prompt& prompt, QWidget* parent)
    : QDialog(parent)
    , m_db(db)
    , m_prompt(prompt) {
    setObjectName(QStringLiteral("frmPassword"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(productTitle());

    auto* label = new QLabel(QStringLiteral("&Password:"), this);
    m_txtPassword = new QLineEdit(this);
    m_txtPassword->setObjectName(QStringLiteral("txtPassword"));
    m_txtPassword->setEchoMode(QLineEdit::Password);
    label->setBuddy(m_txtPassword);
    m_cmdOkay = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOkay->setObjectName(QStringLiteral("cmdOkay"));
    m_cmdOkay->setDefault(true);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(m_txtPassword, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOkay);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    connect(m_cmdOkay, &QPushButton::clicked, this, &PasswordDialog::cmdOkay_Click);
}

void PasswordDialog::cmdOkay_Click() {
    ++m_tries;
    try {
        if (Check_Password(m_db, m_txtPassword->text())) {
            m_tries = 0;
            emit passwordAccepted();
            close();
            return;
        }
    } catch (const DatabaseError& error) {
        m_prompt.error(this, error.toMessage());
        return;
    }
    m_prompt.warn(this, QStringLiteral("Incorrect password, try again..!"));
    m_txtPassword->selectAll();
    m_txtPassword->setFocus();
    if (m_tries >= kMaxTries)
        close();
}

} // namespace kestrava
