#include "gui/dialogs/TimerDialog.h"

#include "core/store/DatabaseError.h"
#include "gui/common/Prompt.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimeEdit>

namespace kestrava {

namespace {

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* pushButton = new QPushButton(caption, parent);
    pushButton->setObjectName(name);
    pushButton->setAutoDefault(false);
    return pushButton;
}

QLabel* label(const QString& name, const QString& caption, QWidget* parent) {
    auto* text = new QLabel(caption, parent);
    text->setObjectName(name);
    return text;
}

QLineEdit* nameBox(const QString& name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

} // namespace

TimerDialog::TimerDialog(Database& db, const Clock& clock, ScheduleSender& messenger, Prompt& prompt,
                         QWidget* parent)
    : QDialog(parent)
    , m_model(db, clock, messenger)
    , m_prompt(prompt) {
    setObjectName(QStringLiteral("frmTimer"));
    setWindowTitle(QStringLiteral("Timer Interval - Kestrava"));

    auto* lblGroup = label(QStringLiteral("lblGroup"), QStringLiteral("Group"), this);
    m_txtGroupName = nameBox(QStringLiteral("txtGroupName"), this);
    m_lblSystem = label(QStringLiteral("lblSystem"), QStringLiteral("System"), this);
    m_txtSystemName = nameBox(QStringLiteral("txtSystemName"), this);

    auto* fraTimer = new QGroupBox(QStringLiteral("Timer"), this);
    fraTimer->setObjectName(QStringLiteral("fraTimer"));
    m_optOnTimer = new QRadioButton(QStringLiteral("ON Timer"), fraTimer);
    m_optOnTimer->setObjectName(QStringLiteral("optOnTimer"));
    m_optOffTimer = new QRadioButton(QStringLiteral("OFF Timer"), fraTimer);
    m_optOffTimer->setObjectName(QStringLiteral("optOffTimer"));
    auto* lblPeriod = label(QStringLiteral("lblPeriod"), QStringLiteral("Timer Period"), fraTimer);
    m_dtpkTimerPeriod = new QTimeEdit(fraTimer);
    m_dtpkTimerPeriod->setObjectName(QStringLiteral("dtpkTimerPeriod"));
    m_dtpkTimerPeriod->setDisplayFormat(QStringLiteral("HH:mm"));
    auto* timerLayout = new QGridLayout(fraTimer);
    timerLayout->addWidget(m_optOnTimer, 0, 0);
    timerLayout->addWidget(m_optOffTimer, 0, 1);
    timerLayout->addWidget(lblPeriod, 1, 0);
    timerLayout->addWidget(m_dtpkTimerPeriod, 1, 1);

    m_cmdApply = button(QStringLiteral("cmdApply"), QStringLiteral("&Apply"), this);
    auto* cmdClear = button(QStringLiteral("cmdClear"), QStringLiteral("Clea&r"), this);
    auto* cmdClose = button(QStringLiteral("cmdClose"), QStringLiteral("&Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(cmdClear);
    buttons->addWidget(cmdClose);

    auto* layout = new QGridLayout(this);
    layout->addWidget(lblGroup, 0, 0);
    layout->addWidget(m_txtGroupName, 0, 1);
    layout->addWidget(m_lblSystem, 1, 0);
    layout->addWidget(m_txtSystemName, 1, 1);
    layout->addWidget(fraTimer, 2, 0, 1, 2);
    layout->addLayout(buttons, 3, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Arrow keys move the choice without a click.
    connect(m_optOnTimer, &QRadioButton::toggled, this, [this](bool checked) {
        m_model.setOnTimer(checked);
        refresh();
    });
    connect(m_dtpkTimerPeriod, &QTimeEdit::timeChanged, this, [this](QTime period) {
        m_model.setPeriod(period);
        refresh();
    });
    connect(cmdClear, &QPushButton::clicked, this, [this] {
        m_model.clear();
        refresh();
    });
    connect(m_cmdApply, &QPushButton::clicked, this, &TimerDialog::apply);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    refresh();
}

void TimerDialog::load(const PolicyTarget& target) {
    m_model.open(target);
    refresh();
}

void TimerDialog::refresh() {
    const PolicyTarget& target = m_model.target();
    m_txtGroupName->setText(target.groupName);
    m_txtSystemName->setText(target.systemName);
    m_lblSystem->setVisible(!target.isGroup());
    m_txtSystemName->setVisible(!target.isGroup());
    const QSignalBlocker blockOn(m_optOnTimer);
    const QSignalBlocker blockOff(m_optOffTimer);
    m_optOnTimer->setChecked(m_model.onTimer());
    m_optOffTimer->setChecked(!m_model.onTimer());
    const QSignalBlocker blockPeriod(m_dtpkTimerPeriod);
    if (m_dtpkTimerPeriod->time() != m_model.period())
        m_dtpkTimerPeriod->setTime(m_model.period());
    m_cmdApply->setEnabled(m_model.applyEnabled());
}

void TimerDialog::apply() {
    try {
        if (m_model.apply() == TimerModel::ApplyResult::OwnerMissing)
            m_prompt.warn(this, m_model.ownerGoneMessage());
    } catch (const DatabaseError& error) {
        m_prompt.error(this, error.toMessage());
    }
    refresh();
}

} // namespace kestrava
