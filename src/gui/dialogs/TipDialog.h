#pragma once

#include <QDialog>

namespace kestrava {

// frmTip: where to find a program's original file name.
class TipDialog final : public QDialog {
    Q_OBJECT
public:
    explicit TipDialog(QWidget* parent);
};

} // namespace kestrava
