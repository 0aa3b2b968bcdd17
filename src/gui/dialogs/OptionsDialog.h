#pragma once

#include "core/options/OptionsModel.h"

#include <QDialog>
#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedLayout;
class QTreeWidget;

namespace kestrava {

class Prompt;

// frmSettings: the options of the whole installation over OptionsModel.
class OptionsDialog final : public QDialog {
    Q_OBJECT
public:
    enum class Page { General = 0, Password = 1, Connection = 2, PortProxy = 3 };

    OptionsDialog(Database& db, Prompt& prompt, TraySwitch& tray, AutoStartSwitch& autoStart,
                  OptionsModel::SendToAll sendToAll, QWidget* parent);
    ~OptionsDialog() override;

    void showPage(Page page);
    static QString localPortRefusedText(const QString& typed);
    static QString securePortRefusedText(const QString& typed);

signals:
    // The option "Accept client services only over the authenticated link" was stored as on.
    void secureOnlyApplied(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildGeneral();
    QWidget* buildPassword();
    QWidget* buildConnection();
    QWidget* buildPortProxy();
    QLineEdit* portBox(const QString& name, QWidget* parent);
    void loadSettings();
    void connectChanges();
    void enableApply();
    void filterBlockMessage();
    void setProtocolChecked(int index, bool checked);
    void setDefaults();
    void leaveProtocolPort(QLineEdit* box);
    OptionsValues editedValues() const;
    void apply();

    Prompt& m_prompt;
    OptionsModel m_model;
    QTreeWidget* m_treSettings = nullptr;
    std::array<QGroupBox*, 4> m_fraSettings{};
    QStackedLayout* m_pages = nullptr;
    QPlainTextEdit* m_txtAppBlockerMessage = nullptr;
    QComboBox* m_cboGroups = nullptr;
    QCheckBox* m_chkSystray = nullptr;
    QCheckBox* m_chkAutoStart = nullptr;
    QCheckBox* m_chkAskPwd = nullptr;
    QLineEdit* m_txtOldPassword = nullptr;
    QLineEdit* m_txtNewPassword = nullptr;
    QLineEdit* m_txtConfirmPassword = nullptr;
    QLabel* m_lblPwdMessage = nullptr;
    QLineEdit* m_txtLocalPort = nullptr;
    QLineEdit* m_txtSecurePort = nullptr;
    QCheckBox* m_chkSecureOnly = nullptr;
    QLineEdit* m_txtFingerprint = nullptr;
    std::array<QCheckBox*, kProtocolCount> m_chkProtocolPort{};
    std::array<QLineEdit*, kProtocolCount> m_txtProtocolPort{};
    QLabel* m_lblDefaults = nullptr;
    QPushButton* m_cmdApply = nullptr;
    // The block message as last accepted, put back when an edit makes it too long.
    QString m_lastMessage;
    bool m_filtering = false;
};

} // namespace kestrava
