#include "gui/dialogs/ScheduleDialog.h"

#include "core/store/DatabaseError.h"
#include "gui/common/Prompt.h"
#include "gui/dialogs/AmPmTimeEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrava {

namespace {

const char* const kWeekDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

QPushButton* button(const QString& name, const QString& caption, QWidget* parent) {
    auto* pushButton = new QPushButton(caption, parent);
    pushButton->setObjectName(name);
    pushButton->setAutoDefault(false);
    return pushButton;
}

QTimeEdit* picker(const QString& name, QWidget* parent) {
    auto* edit = new AmPmTimeEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QGroupBox* frame(const QString& name, const QString& caption, QWidget* parent) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    return box;
}

} // namespace

ScheduleDialog::ScheduleDialog(Database& db, const Clock& clock, ScheduleSender& messenger, Prompt& prompt,
                               QWidget* parent)
    : QDialog(parent)
    , m_model(db, clock, messenger)
    , m_prompt(prompt) {
    setObjectName(QStringLiteral("frmSchedule"));
    setWindowTitle(QStringLiteral("Scheduler - Kestrava"));
    buildControls();
    connectControls();
    refresh();
}

void ScheduleDialog::buildControls() {
    auto* lblGroup = new QLabel(QStringLiteral("Group"), this);
    lblGroup->setObjectName(QStringLiteral("lblGroup"));
    m_txtGroupName = new QLineEdit(this);
    m_txtGroupName->setObjectName(QStringLiteral("txtGroupName"));
    m_txtGroupName->setReadOnly(true);
    m_lblSystem = new QLabel(QStringLiteral("System"), this);
    m_lblSystem->setObjectName(QStringLiteral("lblSystem"));
    m_txtSystemName = new QLineEdit(this);
    m_txtSystemName->setObjectName(QStringLiteral("txtSystemName"));
    m_txtSystemName->setReadOnly(true);

    m_cboSchedule = new QComboBox(this);
    m_cboSchedule->setObjectName(QStringLiteral("cboSchedule"));
    m_cboSchedule->addItems({QStringLiteral("Daily"), QStringLiteral("Weekly"), QStringLiteral("Monthly")});

    auto* fraTime = frame(QStringLiteral("fraTime"), QStringLiteral("Allowing internet access from"), this);
    m_dtpkStartTime = picker(QStringLiteral("dtpkStartTime"), fraTime);
    m_dtpkStopTime = picker(QStringLiteral("dtpkStopTime"), fraTime);
    m_lvwSchedules = new QTreeWidget(fraTime);
    m_lvwSchedules->setObjectName(QStringLiteral("lvwSchedules"));
    m_lvwSchedules->setHeaderLabels({QStringLiteral("Start Time"), QStringLiteral("Stop Time")});
    m_lvwSchedules->setRootIsDecorated(false);
    m_lvwSchedules->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_lvwSchedules->setContextMenuPolicy(Qt::CustomContextMenu);
    m_lvwSchedules->header()->setSectionResizeMode(QHeaderView::Stretch);
    m_lvwSchedules->installEventFilter(this);
    m_chkBlockInternet = new QCheckBox(QStringLiteral("Block internet from"), fraTime);
    m_chkBlockInternet->setObjectName(QStringLiteral("chkBlockInternet"));
    m_cmdAdd = button(QStringLiteral("cmdAdd"), QStringLiteral("A&dd"), fraTime);
    m_cmdDelete = button(QStringLiteral("cmdDelete"), QStringLiteral("D&elete"), fraTime);
    auto* timeLayout = new QGridLayout(fraTime);
    timeLayout->addWidget(m_chkBlockInternet, 0, 0, 1, 2);
    timeLayout->addWidget(m_dtpkStartTime, 1, 0);
    timeLayout->addWidget(m_dtpkStopTime, 1, 1);
    timeLayout->addWidget(m_cmdAdd, 1, 2);
    timeLayout->addWidget(m_lvwSchedules, 2, 0, 1, 2);
    timeLayout->addWidget(m_cmdDelete, 2, 2, Qt::AlignTop);

    m_fraDaily = frame(QStringLiteral("fraDaily"), QStringLiteral("Daily"), this);
    auto* lblDaily =
        new QLabel(QStringLiteral("    For daily settings, please enter the start time and stop time "
                                  "schedules. For weekly and monthly settings, select the start and "
                                  "stop time schedules and days or months."),
                   m_fraDaily);
    lblDaily->setObjectName(QStringLiteral("lblDaily"));
    lblDaily->setWordWrap(true);
    (new QVBoxLayout(m_fraDaily))->addWidget(lblDaily);

    m_fraWeekDays = frame(QStringLiteral("fraWeekDays"), QStringLiteral("Select &week days"), this);
    auto* weekLayout = new QGridLayout(m_fraWeekDays);
    for (int day = 0; day < 7; ++day) {
        auto* check = new QCheckBox(QLatin1String(kWeekDays[day]), m_fraWeekDays);
        check->setObjectName(QStringLiteral("chkWeekDays"));
        check->setProperty("index", day);
        weekLayout->addWidget(check, day / 2, day % 2);
        m_chkWeekDays[static_cast<std::size_t>(day)] = check;
    }
    m_fraMonths = frame(QStringLiteral("fraMonths"), QStringLiteral("Select &Months"), this);
    auto* monthLayout = new QGridLayout(m_fraMonths);
    for (int month = 0; month < 12; ++month) {
        auto* check = new QCheckBox(QLatin1String(kMonths[month]), m_fraMonths);
        check->setObjectName(QStringLiteral("chkMonths"));
        check->setProperty("index", month);
        monthLayout->addWidget(check, month / 3, month % 3);
        m_chkMonths[static_cast<std::size_t>(month)] = check;
    }

    m_cmdClear = button(QStringLiteral("cmdClear"), QStringLiteral("Clea&r"), this);
    m_cmdApply = button(QStringLiteral("cmdApply"), QStringLiteral("&Apply"), this);
    m_cmdClose = button(QStringLiteral("cmdClose"), QStringLiteral("&Close"), this);

    m_mnuPopup = new QMenu(this);
    m_mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
    m_mnuPUDelete = m_mnuPopup->addAction(QStringLiteral("&Delete"));
    m_mnuPUDelete->setObjectName(QStringLiteral("mnuPUDelete"));

    auto* names = new QGridLayout;
    names->addWidget(lblGroup, 0, 0);
    names->addWidget(m_txtGroupName, 0, 1);
    names->addWidget(m_lblSystem, 1, 0);
    names->addWidget(m_txtSystemName, 1, 1);
    names->addWidget(m_cboSchedule, 2, 1);
    auto* recurrence = new QVBoxLayout;
    recurrence->addWidget(m_fraDaily);
    recurrence->addWidget(m_fraWeekDays);
    recurrence->addWidget(m_fraMonths);
    recurrence->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdClear);
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(m_cmdClose);
    auto* layout = new QGridLayout(this);
    layout->addLayout(names, 0, 0, 1, 2);
    layout->addWidget(fraTime, 1, 0);
    layout->addLayout(recurrence, 1, 1);
    layout->addLayout(buttons, 2, 0, 1, 2);
}

void ScheduleDialog::connectControls() {
    connect(m_cboSchedule, &QComboBox::activated, this, [this](int index) {
        m_model.setRecurrence(ScheduleModel::Recurrence(index));
        refresh();
    });
    for (std::size_t day = 0; day < m_chkWeekDays.size(); ++day)
        connect(m_chkWeekDays[day], &QCheckBox::clicked, this, [this, day](bool checked) {
            m_model.setWeekDay(static_cast<int>(day), checked);
            refresh();
        });
    for (std::size_t month = 0; month < m_chkMonths.size(); ++month)
        connect(m_chkMonths[month], &QCheckBox::clicked, this, [this, month](bool checked) {
            m_model.setMonth(static_cast<int>(month), checked);
            refresh();
        });
    connect(m_chkBlockInternet, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.setBlockInternet(checked);
        refresh();
    });
    connect(m_dtpkStartTime, &QTimeEdit::timeChanged, this,
            [this](QTime time) { m_model.setStartTime(time); });
    connect(m_dtpkStopTime, &QTimeEdit::timeChanged, this, [this](QTime time) { m_model.setStopTime(time); });
    connect(m_lvwSchedules, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        m_model.selectRange(m_lvwSchedules->indexOfTopLevelItem(item));
        refresh();
    });
    connect(m_lvwSchedules, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_mnuPopup->popup(m_lvwSchedules->viewport()->mapToGlobal(at)); });
    connect(m_cmdAdd, &QPushButton::clicked, this, &ScheduleDialog::add);
    connect(m_cmdDelete, &QPushButton::clicked, this, &ScheduleDialog::deleteSelected);
    connect(m_mnuPUDelete, &QAction::triggered, this, &ScheduleDialog::deleteSelected);
    connect(m_cmdClear, &QPushButton::clicked, this, [this] {
        m_model.clear();
        refresh();
    });
    connect(m_cmdApply, &QPushButton::clicked, this, &ScheduleDialog::apply);
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::close);
}

void ScheduleDialog::load(const PolicyTarget& target) {
    m_model.open(target);
    refresh();
}

// Shows the model; signals stay blocked so that showing is never taken for the administrator's change.
void ScheduleDialog::refresh() {
    const PolicyTarget& target = m_model.target();
    m_txtGroupName->setText(target.groupName);
    m_txtSystemName->setText(target.systemName);
    m_lblSystem->setVisible(!target.isGroup());
    m_txtSystemName->setVisible(!target.isGroup());

    const QSignalBlocker blockCombo(m_cboSchedule);
    m_cboSchedule->setCurrentIndex(m_model.recurrence());
    m_fraDaily->setVisible(m_model.recurrence() == ScheduleModel::Daily);
    m_fraWeekDays->setVisible(m_model.recurrence() == ScheduleModel::Weekly);
    m_fraMonths->setVisible(m_model.recurrence() == ScheduleModel::Monthly);
    for (std::size_t day = 0; day < m_chkWeekDays.size(); ++day)
        m_chkWeekDays[day]->setChecked(m_model.weekDay(static_cast<int>(day)));
    for (std::size_t month = 0; month < m_chkMonths.size(); ++month)
        m_chkMonths[month]->setChecked(m_model.month(static_cast<int>(month)));
    m_chkBlockInternet->setChecked(m_model.blockInternet());

    const QSignalBlocker blockStart(m_dtpkStartTime);
    const QSignalBlocker blockStop(m_dtpkStopTime);
    m_dtpkStartTime->setTime(m_model.startTime());
    m_dtpkStopTime->setTime(m_model.stopTime());

    const QList<ScheduleModel::Range>& ranges = m_model.ranges();
    if (m_lvwSchedules->topLevelItemCount() != ranges.size()) {
        m_lvwSchedules->clear();
        for (const ScheduleModel::Range& range : ranges)
            new QTreeWidgetItem(m_lvwSchedules, {range.start, range.stop});
    } else {
        for (int row = 0; row < ranges.size(); ++row) {
            m_lvwSchedules->topLevelItem(row)->setText(0, ranges[row].start);
            m_lvwSchedules->topLevelItem(row)->setText(1, ranges[row].stop);
        }
    }
    m_cmdApply->setEnabled(m_model.applyEnabled());
}

QList<int> ScheduleDialog::selectedRows() const {
    QList<int> rows;
    for (QTreeWidgetItem* item : m_lvwSchedules->selectedItems())
        rows.append(m_lvwSchedules->indexOfTopLevelItem(item));
    return rows;
}

void ScheduleDialog::add() {
    switch (m_model.add()) {
    case ScheduleModel::AddResult::LimitReached:
        m_prompt.inform(this, ScheduleModel::limitMessage());
        break;
    case ScheduleModel::AddResult::StartNotBeforeStop:
        m_prompt.inform(this, ScheduleModel::startNotBeforeStopMessage());
        break;
    case ScheduleModel::AddResult::Added:
        break;
    }
    refresh();
}

void ScheduleDialog::deleteSelected() {
    m_model.removeRanges(selectedRows());
    m_lvwSchedules->clearSelection();
    refresh();
}

void ScheduleDialog::apply() {
    ScheduleModel::EmptyAnswer answer = ScheduleModel::EmptyAnswer::Yes;
    if (m_model.applyNeedsAnswer() &&
        m_prompt.ask(this, ScheduleModel::emptiedQuestion(), Prompt::Answer::Yes) == Prompt::Answer::No)
        answer = ScheduleModel::EmptyAnswer::No;
    try {
        if (m_model.apply(answer) == ScheduleModel::ApplyResult::OwnerMissing)
            m_prompt.warn(this, m_model.ownerGoneMessage());
    } catch (const DatabaseError& error) {
        m_prompt.error(this, error.toMessage());
    }
    refresh();
}

bool ScheduleDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_lvwSchedules && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        deleteSelected();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace kestrava
