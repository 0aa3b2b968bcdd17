#include "gui/dialogs/PropertiesDialog.h"

#include "core/console/Keys.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/link/KeyPins.h"
#include "core/management/GroupSystemManager.h"
#include "core/policy/PolicyLines.h"
#include "core/startup/ConsoleServices.h"
#include "core/store/DatabaseError.h"
#include "gui/common/ConsoleSelection.h"
#include "gui/common/Prompt.h"
#include "gui/common/SystemsWindow.h"
#include "tls/Fingerprint.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrava {

namespace {

QLineEdit* field(QFormLayout* form, const char* name, const char* label, bool editable) {
    auto* edit = new QLineEdit;
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(!editable);
    if (editable)
        edit->setMaxLength(GroupSystemManager::kMaxNameLength);
    form->addRow(QString::fromLatin1(label), edit);
    return edit;
}

} // namespace

PropertiesDialog::PropertiesDialog(SystemsWindow& window, GroupSystemManager& manager, Prompt& prompt)
    : QDialog(&window.widget())
    , m_window(window)
    , m_manager(manager)
    , m_prompt(prompt) {
    setObjectName(QStringLiteral("frmProperties"));
    setWindowTitle(QStringLiteral("Properties - Kestrava"));
    // Wide enough for a full name, a status stamp and a policy line without cutting them.
    setMinimumWidth(460);
    auto* layout = new QVBoxLayout(this);
    buildSystemFrame();
    buildGroupFrame();
    layout->addWidget(fraSystemProperties);
    layout->addWidget(fraGroupProperties);
    cmdApply = new QPushButton(QStringLiteral("&Apply"), this);
    cmdApply->setObjectName(QStringLiteral("cmdApply"));
    cmdApply->setAutoDefault(false);
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdApply);
    buttons->addWidget(cmdClose);
    layout->addLayout(buttons);
    connect(cmdApply, &QPushButton::clicked, this, &PropertiesDialog::cmdApply_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    for (QLineEdit* name : {txtAlias, txtGroupName})
        connect(name, &QLineEdit::textChanged, this, [this] { cmdApply->setEnabled(true); });
    fraSystemProperties->hide();
    fraGroupProperties->hide();
    Show_Properties();
}

void PropertiesDialog::buildSystemFrame() {
    fraSystemProperties = new QGroupBox(QStringLiteral("SystemProperties"), this);
    fraSystemProperties->setObjectName(QStringLiteral("fraSystemProperties"));
    auto* form = new QFormLayout(fraSystemProperties);
    txtAlias = field(form, "txtAlias", "Alias", true);
    txtSystem = field(form, "txtSystem", "System", false);
    txtGroup = field(form, "txtGroup", "Group", false);
    txtIPAddress = field(form, "txtIPAddress", "IP Address", false);
    txtConnectionStatus = field(form, "txtConnectionStatus", "Connection Status", false);
    txtInternetStatus = field(form, "txtInternetStatus", "Internet Status", false);
    txtPolicy = field(form, "txtPolicy", "Policy", false);
    txtKeyFingerprint = field(form, "txtKeyFingerprint", "Key (SHA-256)", false);
    cmdForgetKey = new QPushButton(QStringLiteral("Forget this computer's key"), fraSystemProperties);
    cmdForgetKey->setObjectName(QStringLiteral("cmdForgetKey"));
    cmdForgetKey->setAutoDefault(false);
    form->addRow(QString(), cmdForgetKey);
    connect(cmdForgetKey, &QPushButton::clicked, this, &PropertiesDialog::cmdForgetKey_Click);
}

void PropertiesDialog::showPin() {
    QByteArray pinned;
    try {
        pinned = KeyPins(m_window.services().db).pinOf(m_key);
    } catch (const DatabaseError& error) {
        m_prompt.error(this, error.toMessage());
    }
    txtKeyFingerprint->setText(pinned.isEmpty() ? QStringLiteral("(none)") : Fingerprint::text(pinned));
    cmdForgetKey->setEnabled(!pinned.isEmpty());
}

void PropertiesDialog::cmdForgetKey_Click() {
    try {
        KeyPins(m_window.services().db).forget(m_key);
    } catch (const DatabaseError& error) {
        m_prompt.error(this, error.toMessage());
    }
    showPin();
}

void PropertiesDialog::buildGroupFrame() {
    fraGroupProperties = new QGroupBox(QStringLiteral("Group Properties"), this);
    fraGroupProperties->setObjectName(QStringLiteral("fraGroupProperties"));
    auto* form = new QFormLayout(fraGroupProperties);
    txtGroupName = field(form, "txtGroupName", "Group", true);
    txtChildSystems = field(form, "txtChildSystems", "Child Systems", false);
}

void PropertiesDialog::Show_Properties() {
    ConsoleSelection& selection = m_window.selection();
    const ConsoleSelection::Control control = selection.focusedControl();
    QString key, text;
    if (control == ConsoleSelection::Control::Other ||
        !selection.Get_Selected_Items_Key_And_Text(key, text)) {
        cmdApply->setEnabled(false);
        return;
    }
    m_key = key;
    const SystemListModel& list = m_window.listModel();
    if (Keys::Is_System_Key(key)) {
        fraSystemProperties->show();
        const int row = list.Get_List_Index_From_Key(key);
        if (row > 0) {
            const ListRow& item = list.rowAt(row - 1);
            txtAlias->setText(item.text);
            txtSystem->setText(item.system);
            txtGroup->setText(item.group);
            txtIPAddress->setText(item.ipAddress);
            txtConnectionStatus->setText(item.connectionStatus);
            txtInternetStatus->setText(item.internetStatus);
        }
        txtPolicy->setText(m_window.policyLines().textOf(key));
        showPin();
    } else if (Keys::Is_Group_Key(key)) {
        fraGroupProperties->show();
        if (const TreeNode* node = m_window.services().tree.Get_Node_Index_From_Key(key)) {
            txtGroupName->setText(node->text);
            txtChildSystems->setText(QString::number(node->children.size()));
        }
    }
    cmdApply->setEnabled(false);
}

QString PropertiesDialog::currentText() const {
    const TreeNode* node = m_window.services().tree.Get_Node_Index_From_Key(m_key);
    return node ? node->text : QString();
}

void PropertiesDialog::cmdApply_Click() {
    txtAlias->setText(txtAlias->text().trimmed());
    txtGroupName->setText(txtGroupName->text().trimmed());
    try {
        if (Keys::Is_System_Key(m_key)) {
            if (!m_manager.Change_Group_Or_System_Name(m_key, txtAlias->text(), false))
                txtAlias->setText(currentText());
        } else if (Keys::Is_Group_Key(m_key) && txtGroupName->text() != currentText()) {
            const QString newName = txtGroupName->text();
            // The list is filled again only when it shows this group's systems; elsewhere it stays put.
            const TreeNode* shown = m_window.selection().treeSelectedNode();
            const bool listShowsGroup = shown && shown->key == m_key;
            if (m_manager.Change_Group_Or_System_Name(m_key, newName, listShowsGroup))
                m_key = Keys::Make_Group_Key(newName);
            else
                txtGroupName->setText(currentText());
        }
    } catch (const DatabaseError& error) {
        m_prompt.error(this, error.toMessage());
    }
    cmdApply->setEnabled(false);
}

} // namespace kestrava
