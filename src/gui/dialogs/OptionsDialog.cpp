#include "gui/dialogs/OptionsDialog.h"

#include "core/store/DatabaseError.h"
#include "gui/common/Prompt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStackedLayout>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrava {

namespace {

QStyle::StandardPixmap pageIcon(OptionsDialog::Page page) {
    switch (page) {
    case OptionsDialog::Page::General:
        return QStyle::SP_FileDialogDetailedView;
    case OptionsDialog::Page::Password:
        return QStyle::SP_DialogApplyButton;
    case OptionsDialog::Page::Connection:
        return QStyle::SP_DriveNetIcon;
    case OptionsDialog::Page::PortProxy:
        return QStyle::SP_ComputerIcon;
    }
    return QStyle::SP_FileIcon;
}

const QString kRootEntry = QStringLiteral("[Root...]");
constexpr int kPortBoxLength = 5;

// The window shows line breaks as one character; the database and the wire carry CR LF.
QString shownForm(QString stored) {
    return stored.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString storedForm(QString shown) {
    return shown.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

struct PageNode {
    const char* key;
    OptionsDialog::Page page;
};

constexpr std::array<PageNode, 4> kPageNodes{{{"General", OptionsDialog::Page::General},
                                              {"Connection", OptionsDialog::Page::Connection},
                                              {"Password", OptionsDialog::Page::Password},
                                              {"Port/Proxy", OptionsDialog::Page::PortProxy}}};

QGroupBox* frame(const QString& caption, int index, QWidget* parent) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QStringLiteral("fraSettings"));
    box->setProperty("index", index);
    return box;
}

QLineEdit* passwordBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setEchoMode(QLineEdit::Password);
    box->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42 }"));
    box->setMaxLength(OptionsModel::kMaxPasswordLength);
    return box;
}

} // namespace

OptionsDialog::OptionsDialog(Database& db, Prompt& prompt, TraySwitch& tray, AutoStartSwitch& autoStart,
                             OptionsModel::SendToAll sendToAll, QWidget* parent)
    : QDialog(parent)
    , m_prompt(prompt)
    , m_model(db, tray, autoStart, std::move(sendToAll)) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Options - Kestrava"));

    m_treSettings = new QTreeWidget(this);
    m_treSettings->setObjectName(QStringLiteral("treSettings"));
    m_treSettings->setHeaderHidden(true);
    m_treSettings->setRootIsDecorated(false);
    m_treSettings->setFixedWidth(130);
    for (const PageNode& node : kPageNodes) {
        auto* item = new QTreeWidgetItem(m_treSettings, QStringList{QLatin1String(node.key)});
        item->setData(0, Qt::UserRole, QLatin1String(node.key));
        item->setData(0, Qt::UserRole + 1, int(node.page));
        item->setIcon(0, style()->standardIcon(pageIcon(node.page)));
    }

    auto* pages = new QWidget(this);
    m_pages = new QStackedLayout(pages);
    m_fraSettings[int(Page::General)] = static_cast<QGroupBox*>(buildGeneral());
    m_fraSettings[int(Page::Password)] = static_cast<QGroupBox*>(buildPassword());
    m_fraSettings[int(Page::Connection)] = static_cast<QGroupBox*>(buildConnection());
    m_fraSettings[int(Page::PortProxy)] = static_cast<QGroupBox*>(buildPortProxy());
    for (QGroupBox* box : m_fraSettings) {
        box->setParent(pages);
        m_pages->addWidget(box);
    }

    m_cmdApply = new QPushButton(QStringLiteral("&Apply"), this);
    m_cmdApply->setObjectName(QStringLiteral("cmdApply"));
    auto* cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton* button : {m_cmdApply, cmdClose})
        button->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(cmdClose);
    auto* layout = new QGridLayout(this);
    layout->addWidget(m_treSettings, 0, 0);
    layout->addWidget(pages, 0, 1);
    layout->addLayout(buttons, 1, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_treSettings, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            showPage(Page(item->data(0, Qt::UserRole + 1).toInt()));
    });
    connect(m_cmdApply, &QPushButton::clicked, this, &OptionsDialog::apply);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    m_treSettings->setCurrentItem(m_treSettings->topLevelItem(0));
    loadSettings();
    connectChanges();
    m_cmdApply->setEnabled(false);
}

OptionsDialog::~OptionsDialog() = default;

QWidget* OptionsDialog::buildGeneral() {
    QGroupBox* box = frame(QStringLiteral("General"), int(Page::General), this);
    m_txtAppBlockerMessage = new QPlainTextEdit(box);
    m_txtAppBlockerMessage->setObjectName(QStringLiteral("txtAppBlockerMessage"));
    m_txtAppBlockerMessage->setPlainText(shownForm(
        QStringLiteral("Your IT Adminstrator has prevented you from running \r\nthis application.\r\n")));
    m_txtAppBlockerMessage->setFixedHeight(70);
    m_cboGroups = new QComboBox(box);
    m_cboGroups->setObjectName(QStringLiteral("cboGroups"));
    m_chkSystray = new QCheckBox(QStringLiteral("Show in system tray"), box);
    m_chkSystray->setObjectName(QStringLiteral("chkSystray"));
    m_chkAutoStart = new QCheckBox(QStringLiteral("Run program automatically at system startup"), box);
    m_chkAutoStart->setObjectName(QStringLiteral("chkAutoStart"));

    auto* layout = new QVBoxLayout(box);
    layout->addWidget(new QLabel(QStringLiteral("App Blocker Message"), box));
    layout->addWidget(m_txtAppBlockerMessage);
    layout->addWidget(new QLabel(QStringLiteral("Put newly added systems to"), box));
    layout->addWidget(m_cboGroups);
    layout->addWidget(m_chkSystray);
    layout->addWidget(m_chkAutoStart);
    layout->addWidget(new QLabel(QStringLiteral("(Press CTRL+ALT+P to popup the console)"), box));
    layout->addStretch();
    return box;
}

QWidget* OptionsDialog::buildPassword() {
    QGroupBox* box = frame(QStringLiteral("Password"), int(Page::Password), this);
    m_chkAskPwd = new QCheckBox(QStringLiteral("Prompt for password when console is opened"), box);
    m_chkAskPwd->setObjectName(QStringLiteral("chkAskPwd"));
    m_txtOldPassword = passwordBox(QStringLiteral("txtOldPassword"), box);
    m_txtNewPassword = passwordBox(QStringLiteral("txtNewPassword"), box);
    m_txtConfirmPassword = passwordBox(QStringLiteral("txtConfirmPassword"), box);
    m_lblPwdMessage = new QLabel(box);
    m_lblPwdMessage->setObjectName(QStringLiteral("lblPwdMessage"));

    auto* layout = new QFormLayout(box);
    layout->addRow(m_chkAskPwd);
    layout->addRow(QStringLiteral("Old Password"), m_txtOldPassword);
    layout->addRow(QStringLiteral("New Password"), m_txtNewPassword);
    layout->addRow(QStringLiteral("Confirm Password"), m_txtConfirmPassword);
    layout->addRow(m_lblPwdMessage);
    return box;
}

QWidget* OptionsDialog::buildConnection() {
    QGroupBox* box = frame(QStringLiteral("Connection"), int(Page::Connection), this);
    m_txtLocalPort = portBox(QStringLiteral("txtLocalPort"), box);
    m_txtLocalPort->setText(QStringLiteral("8999"));
    m_txtSecurePort = portBox(QStringLiteral("txtSecurePort"), box);
    m_txtSecurePort->setText(QStringLiteral("9000"));
    m_chkSecureOnly =
        new QCheckBox(QStringLiteral("Accept client services only over the authenticated link"), box);
    m_chkSecureOnly->setObjectName(QStringLiteral("chkSecureOnly"));
    // Read-only but selectable, so that the administrator can copy it to the client services.
    m_txtFingerprint = new QLineEdit(box);
    m_txtFingerprint->setObjectName(QStringLiteral("txtConsoleFingerprint"));
    m_txtFingerprint->setReadOnly(true);
    m_txtFingerprint->setMinimumWidth(m_txtFingerprint->fontMetrics().horizontalAdvance(QString(95, u'D')));
    auto* layout = new QFormLayout(box);
    layout->addRow(QStringLiteral("Local Port"), m_txtLocalPort);
    layout->addRow(QStringLiteral("Authenticated Port"), m_txtSecurePort);
    layout->addRow(m_chkSecureOnly);
    layout->addRow(QStringLiteral("Console key (SHA-256)"), m_txtFingerprint);
    return box;
}

QWidget* OptionsDialog::buildPortProxy() {
    QGroupBox* box = frame(QStringLiteral("Port/Proxy Settings"), int(Page::PortProxy), this);
    auto* layout = new QGridLayout(box);
    layout->addWidget(
        new QLabel(QStringLiteral("Enter your port settings for the corresponding protocols..."), box), 0, 0,
        1, 4);
    for (int i = 0; i < kProtocolCount; ++i) {
        // Each pair is one entry of a control array: the same name, told apart by the index.
        auto* check = new QCheckBox(QLatin1String(kProtocolPorts[i].caption), box);
        check->setObjectName(QStringLiteral("chkProtocolPort"));
        check->setProperty("index", i);
        QLineEdit* port = portBox(QStringLiteral("txtProtocolPort"), box);
        port->setProperty("index", i);
        port->setProperty("tag", kProtocolPorts[i].defaultPort);
        port->setText(QStringLiteral("0"));
        m_chkProtocolPort[i] = check;
        m_txtProtocolPort[i] = port;
        const int row = 1 + i % 5;
        const int column = (i / 5) * 2;
        layout->addWidget(check, row, column);
        layout->addWidget(port, row, column + 1);
    }
    m_lblDefaults = new QLabel(QStringLiteral("Set Defaults"), box);
    m_lblDefaults->setObjectName(QStringLiteral("lblDefaults"));
    m_lblDefaults->setCursor(Qt::PointingHandCursor);
    // Link colour while enabled only, so that a disabled label turns grey like any other.
    QPalette link = m_lblDefaults->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        link.setColor(group, QPalette::WindowText, link.color(group, QPalette::Link));
    m_lblDefaults->setPalette(link);
    m_lblDefaults->installEventFilter(this);
    layout->addWidget(m_lblDefaults, 6, 3, Qt::AlignRight);
    return box;
}

QLineEdit* OptionsDialog::portBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setMaxLength(kPortBoxLength);
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    box->setFixedWidth(70);
    box->installEventFilter(this);
    return box;
}

void OptionsDialog::showPage(Page page) {
    QTreeWidgetItem* current = m_treSettings->currentItem();
    if (!current || Page(current->data(0, Qt::UserRole + 1).toInt()) != page) {
        for (int i = 0; i < m_treSettings->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = m_treSettings->topLevelItem(i);
            if (Page(item->data(0, Qt::UserRole + 1).toInt()) == page)
                m_treSettings->setCurrentItem(item);
        }
    }
    // The stack shows the chosen frame only.
    m_pages->setCurrentWidget(m_fraSettings[int(page)]);
}

void OptionsDialog::loadSettings() {
    OptionsValues values;
    try {
        values = m_model.load();
    } catch (const DatabaseError& error) {
        m_prompt.error(this, error.toMessage());
        return;
    }
    m_txtLocalPort->setText(QString::number(values.localPort));
    m_txtSecurePort->setText(QString::number(values.securePort));
    m_chkSecureOnly->setChecked(values.secureOnly);
    m_txtFingerprint->setText(values.consoleFingerprint.isEmpty() ? QStringLiteral("(none yet)")
                                                                  : values.consoleFingerprint);
    m_chkAskPwd->setChecked(values.askPwd);
    m_txtAppBlockerMessage->setPlainText(shownForm(values.blockMessage));
    m_lastMessage = m_txtAppBlockerMessage->toPlainText();
    for (int i = 0; i < kProtocolCount; ++i) {
        const bool controlled = values.ports[i] != 0;
        m_chkProtocolPort[i]->setChecked(controlled);
        m_txtProtocolPort[i]->setText(QString::number(values.ports[i]));
        m_txtProtocolPort[i]->setEnabled(controlled);
    }
    m_chkAutoStart->setChecked(values.autoStart);
    m_chkSystray->setChecked(values.showInTray);
    m_cboGroups->clear();
    m_cboGroups->addItem(kRootEntry);
    m_cboGroups->addItems(m_model.groupNames());
    m_cboGroups->setCurrentIndex(
        values.addToGroup.isEmpty() ? 0 : 1 + int(m_model.groupNames().indexOf(values.addToGroup)));
}

void OptionsDialog::connectChanges() {
    connect(m_txtAppBlockerMessage, &QPlainTextEdit::textChanged, this, &OptionsDialog::filterBlockMessage);
    for (QLineEdit* box :
         {m_txtLocalPort, m_txtSecurePort, m_txtOldPassword, m_txtNewPassword, m_txtConfirmPassword})
        connect(box, &QLineEdit::textChanged, this, &OptionsDialog::enableApply);
    for (QLineEdit* box : m_txtProtocolPort)
        connect(box, &QLineEdit::textChanged, this, &OptionsDialog::enableApply);
    connect(m_cboGroups, &QComboBox::currentIndexChanged, this, &OptionsDialog::enableApply);
    for (QCheckBox* box : {m_chkAskPwd, m_chkAutoStart, m_chkSystray, m_chkSecureOnly})
        connect(box, &QCheckBox::toggled, this, &OptionsDialog::enableApply);
    for (int i = 0; i < kProtocolCount; ++i)
        connect(m_chkProtocolPort[i], &QCheckBox::toggled, this,
                [this, i](bool checked) { setProtocolChecked(i, checked); });
}

void OptionsDialog::enableApply() {
    m_cmdApply->setEnabled(true);
}

void OptionsDialog::filterBlockMessage() {
    if (m_filtering)
        return;
    QString text = m_txtAppBlockerMessage->toPlainText();
    QTextCursor cursor = m_txtAppBlockerMessage->textCursor();
    int position = cursor.position();
    // The apostrophe is refused as it is typed; a text too long for the column is not taken.
    position -= int(text.left(position).count(QLatin1Char('\'')));
    text.remove(QLatin1Char('\''));
    if (storedForm(text).size() > OptionsModel::kMaxMessageLength) {
        text = m_lastMessage;
        position = std::min(position, int(text.size()));
    }
    if (text != m_txtAppBlockerMessage->toPlainText()) {
        m_filtering = true;
        m_txtAppBlockerMessage->setPlainText(text);
        cursor = m_txtAppBlockerMessage->textCursor();
        cursor.setPosition(std::max(0, position));
        m_txtAppBlockerMessage->setTextCursor(cursor);
        m_filtering = false;
    }
    m_lastMessage = text;
    enableApply();
}

void OptionsDialog::setProtocolChecked(int index, bool checked) {
    QLineEdit* port = m_txtProtocolPort[index];
    port->setText(checked ? QString::number(port->property("tag").toInt()) : QStringLiteral("0"));
    port->setEnabled(checked);
}

void OptionsDialog::setDefaults() {
    QPalette grey = m_lblDefaults->palette();
    grey.setColor(QPalette::WindowText, grey.color(QPalette::Disabled, QPalette::WindowText));
    m_lblDefaults->setPalette(grey);
    for (int i = 0; i < kProtocolCount; ++i) {
        if (m_chkProtocolPort[i]->isChecked())
            setProtocolChecked(i, true);
        else
            m_chkProtocolPort[i]->setChecked(true);
    }
}

QString OptionsDialog::localPortRefusedText(const QString& typed) {
    return QStringLiteral("The local port must be a number from 5001 to 32767. \"") + typed +
           QStringLiteral("\" was not applied; the console keeps listening on its port.");
}

QString OptionsDialog::securePortRefusedText(const QString& typed) {
    return QStringLiteral("The authenticated port must be a number from 5001 to 32767 other than the local "
                          "port. \"") +
           typed + QStringLiteral("\" was not applied; the console keeps listening on its port.");
}

void OptionsDialog::leaveProtocolPort(QLineEdit* box) {
    if (box->text().toInt() > kMaxPort)
        box->setText(QString::number(kMaxPort));
}

bool OptionsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_lblDefaults && event->type() == QEvent::MouseButtonRelease) {
        setDefaults();
        return true;
    }
    if (auto* box = qobject_cast<QLineEdit*>(watched)) {
        if (event->type() == QEvent::FocusIn)
            QTimer::singleShot(0, box, &QLineEdit::selectAll);
        // A local port out of range stays as typed until Apply says why it is refused.
        if (event->type() == QEvent::FocusOut && box != m_txtLocalPort && box != m_txtSecurePort)
            leaveProtocolPort(box);
    }
    return QDialog::eventFilter(watched, event);
}

OptionsValues OptionsDialog::editedValues() const {
    OptionsValues values;
    values.blockMessage = storedForm(m_txtAppBlockerMessage->toPlainText());
    values.addToGroup = m_cboGroups->currentIndex() > 0 ? m_cboGroups->currentText() : QString();
    values.showInTray = m_chkSystray->isChecked();
    values.autoStart = m_chkAutoStart->isChecked();
    values.askPwd = m_chkAskPwd->isChecked();
    values.oldPassword = m_txtOldPassword->text();
    values.newPassword = m_txtNewPassword->text();
    values.confirmPassword = m_txtConfirmPassword->text();
    values.localPort = m_txtLocalPort->text().toInt();
    values.securePort = m_txtSecurePort->text().toInt();
    values.secureOnly = m_chkSecureOnly->isChecked();
    for (int i = 0; i < kProtocolCount; ++i)
        values.ports[i] = m_txtProtocolPort[i]->text().toInt();
    return values;
}

void OptionsDialog::apply() {
    // Apply by its access key leaves the focus where it was: the leaving rules run here too.
    for (QLineEdit* box : m_txtProtocolPort)
        leaveProtocolPort(box);

    ApplyResult result = m_model.apply(editedValues());
    // The model stores no port out of range; the typed text stays for the administrator to correct.
    const bool portRefused = !OptionsModel::isValidLocalPort(m_txtLocalPort->text().toInt());
    if (portRefused) {
        result.notices.append(
            {ApplyResult::Notice::Kind::Exclamation, localPortRefusedText(m_txtLocalPort->text())});
        result.success = false;
    }
    const bool securePortRefused =
        !OptionsModel::isValidSecurePort(m_txtSecurePort->text().toInt(), m_model.portAtOpening());
    if (securePortRefused) {
        result.notices.append(
            {ApplyResult::Notice::Kind::Exclamation, securePortRefusedText(m_txtSecurePort->text())});
        result.success = false;
    }
    if (result.secureOnlyChanged)
        emit secureOnlyApplied(m_chkSecureOnly->isChecked());
    for (const ApplyResult::Notice& notice : result.notices) {
        switch (notice.kind) {
        case ApplyResult::Notice::Kind::Information:
            m_prompt.inform(this, notice.text);
            break;
        case ApplyResult::Notice::Kind::Exclamation:
            m_prompt.warn(this, notice.text);
            break;
        case ApplyResult::Notice::Kind::Critical:
            m_prompt.error(this, notice.text);
            break;
        }
    }
    if (result.passwordChanged) {
        m_txtOldPassword->clear();
        m_txtNewPassword->clear();
        m_txtConfirmPassword->clear();
    }
    m_lblPwdMessage->setText(result.passwordMessage);
    if (result.focus != ApplyResult::Focus::None) {
        showPage(Page::Password);
        (result.focus == ApplyResult::Focus::OldPassword ? m_txtOldPassword : m_txtNewPassword)->setFocus();
    } else if (portRefused || securePortRefused) {
        showPage(Page::Connection);
        (portRefused ? m_txtLocalPort : m_txtSecurePort)->setFocus();
    }
    m_cmdApply->setEnabled(!result.success);
}

} // namespace kestrava
