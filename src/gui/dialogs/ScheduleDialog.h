#pragma once

#include "core/policy/ScheduleModel.h"

#include <QDialog>
#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimeEdit;
class QTreeWidget;

namespace kestrava {

class Prompt;

// frmSchedule: the daily, weekly or monthly time ranges of a group or a system, over ScheduleModel.
class ScheduleDialog final : public QDialog {
    Q_OBJECT
public:
    ScheduleDialog(Database& db, const Clock& clock, ScheduleSender& messenger, Prompt& prompt,
                   QWidget* parent);

    // Reads what governs the target. Throws DatabaseError.
    void load(const PolicyTarget& target);
    const ScheduleModel& model() const { return m_model; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectControls();
    void refresh();
    QList<int> selectedRows() const;
    void add();
    void deleteSelected();
    void apply();

    ScheduleModel m_model;
    Prompt& m_prompt;
    QLineEdit* m_txtGroupName = nullptr;
    QLabel* m_lblSystem = nullptr;
    QLineEdit* m_txtSystemName = nullptr;
    QComboBox* m_cboSchedule = nullptr;
    QTimeEdit* m_dtpkStartTime = nullptr;
    QTimeEdit* m_dtpkStopTime = nullptr;
    QTreeWidget* m_lvwSchedules = nullptr;
    QCheckBox* m_chkBlockInternet = nullptr;
    QGroupBox* m_fraDaily = nullptr;
    QGroupBox* m_fraWeekDays = nullptr;
    QGroupBox* m_fraMonths = nullptr;
    std::array<QCheckBox*, 7> m_chkWeekDays{};
    std::array<QCheckBox*, 12> m_chkMonths{};
    QPushButton* m_cmdAdd = nullptr;
    QPushButton* m_cmdDelete = nullptr;
    QPushButton* m_cmdClear = nullptr;
    QPushButton* m_cmdApply = nullptr;
    QPushButton* m_cmdClose = nullptr;
    QMenu* m_mnuPopup = nullptr;
    QAction* m_mnuPUDelete = nullptr;
};

} // namespace kestrava
