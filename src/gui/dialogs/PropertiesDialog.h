#pragma once

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace kestrava {

class GroupSystemManager;
class Prompt;
class SystemsWindow;

// frmProperties: the properties of the group or system selected in the main window, as its tree and list
// show them when the window opens; the group's name or the system's alias can be changed.
class PropertiesDialog : public QDialog {
    Q_OBJECT
public:
    PropertiesDialog(SystemsWindow& window, GroupSystemManager& manager, Prompt& prompt);

    QGroupBox* fraSystemProperties = nullptr;
    QLineEdit* txtAlias = nullptr;
    QLineEdit* txtSystem = nullptr;
    QLineEdit* txtGroup = nullptr;
    QLineEdit* txtIPAddress = nullptr;
    QLineEdit* txtConnectionStatus = nullptr;
    QLineEdit* txtInternetStatus = nullptr;
    QLineEdit* txtPolicy = nullptr;
    // The certificate fingerprint pinned for the system, and the button that clears it.
    QLineEdit* txtKeyFingerprint = nullptr;
    QPushButton* cmdForgetKey = nullptr;
    QGroupBox* fraGroupProperties = nullptr;
    QLineEdit* txtGroupName = nullptr;
    QLineEdit* txtChildSystems = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdClose = nullptr;

    void cmdApply_Click();
    void cmdForgetKey_Click();

private:
    void buildSystemFrame();
    void buildGroupFrame();
    void Show_Properties();
    void showPin();
    // The name in force of the stored item.
    QString currentText() const;

    SystemsWindow& m_window;
    GroupSystemManager& m_manager;
    Prompt& m_prompt;
    // The key of the selected item taken when the window opened; a renamed group's new key afterwards.
    QString m_key;
};

} // namespace kestrava
