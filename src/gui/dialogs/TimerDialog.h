#pragma once

#include "core/policy/TimerModel.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace kestrava {

class Prompt;

// frmTimer: an ON or OFF timer for a group or a system, over TimerModel.
class TimerDialog final : public QDialog {
    Q_OBJECT
public:
    TimerDialog(Database& db, const Clock& clock, ScheduleSender& messenger, Prompt& prompt, QWidget* parent);

    // Reads the timer that governs the target. Throws DatabaseError.
    void load(const PolicyTarget& target);
    const TimerModel& model() const { return m_model; }

private:
    void refresh();
    void apply();

    TimerModel m_model;
    Prompt& m_prompt;
    QLineEdit* m_txtGroupName = nullptr;
    QLabel* m_lblSystem = nullptr;
    QLineEdit* m_txtSystemName = nullptr;
    QRadioButton* m_optOnTimer = nullptr;
    QRadioButton* m_optOffTimer = nullptr;
    QTimeEdit* m_dtpkTimerPeriod = nullptr;
    QPushButton* m_cmdApply = nullptr;
};

} // namespace kestrava
