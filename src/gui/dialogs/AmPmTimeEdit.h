#pragma once

#include <QTimeEdit>

namespace kestrava {

// A "hh:mm AP" time picker that shows English AM/PM whatever the user's locale; the key A or P alone
// switches to the morning or afternoon of the same hour.
class AmPmTimeEdit : public QTimeEdit {
    Q_OBJECT
public:
    explicit AmPmTimeEdit(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace kestrava
