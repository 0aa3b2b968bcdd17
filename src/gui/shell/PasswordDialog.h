#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace kestrava {

class Database;
class Prompt;

// frmPassword: asks for the console's password before the main window comes up. Three wrong tries
// close it; it is discarded when closed, so the next call-up starts counting afresh.
class PasswordDialog final : public QDialog {
    Q_OBJECT
public:
    static constexpr quint8 kMaxTries = 3;

    PasswordDialog(Database& db, Prompt& prompt, QWidget* parent);

    quint8 failedTries() const { return m_tries; }
    QLineEdit& txtPassword() const { return *m_txtPassword; }
    QPushButton& cmdOkay() const { return *m_cmdOkay; }

signals:
    void passwordAccepted();

private:
    void cmdOkay_Click();

    Database& m_db;
    Prompt& m_prompt;
    QLineEdit* m_txtPassword = nullptr;
    QPushButton* m_cmdOkay = nullptr;
    quint8 m_tries = 0;
};

} // namespace kestrava
