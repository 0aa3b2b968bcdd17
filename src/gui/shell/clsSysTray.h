#pragma once

#include "core/platform/TraySwitch.h"

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

class QAction;
class QMenu;

namespace kestrava {

// The console's icon in the notification area, with its menu mnuSysTray ("&Open").
// The visible flag follows only successful additions and removals. An icon asked for while the desktop
// has no notification area is added when one appears (panels often start after the console).
class clsSysTray final : public QObject, public TraySwitch {
    Q_OBJECT
public:
    static constexpr int kMaxTipLength = 63;
    // What NIError carries when the desktop has no notification area.
    static constexpr int kNoTrayError = 1;

    // Whether the desktop has a notification area now.
    using Availability = std::function<bool()>;
    static constexpr std::chrono::milliseconds kTrayWatchInterval{2000};

    explicit clsSysTray(QObject* parent = nullptr,
                        Availability available = &QSystemTrayIcon::isSystemTrayAvailable,
                        std::chrono::milliseconds watchInterval = kTrayWatchInterval);
    ~clsSysTray() override;

    // The tip that the owner sets before Initialize.
    QString m_strPopUpMessage;

    // Fills in icon and tip; does not show the icon.
    void Initialize(const QIcon& icon, const QString& strTip);
    bool AddIcon();
    bool HideIcon();
    // Puts a changed icon or tip in place while the icon is shown.
    bool Update();
    bool Visible() const { return m_bVisible; }
    void setVisible(bool bVisible);

    QString tip() const;
    QMenu& mnuSysTray() const { return *m_mnuSysTray; }
    QAction& mnuSystrayRestore() const { return *m_mnuSystrayRestore; }

    bool isTrayIconVisible() const override { return Visible(); }
    void setTrayIconVisible(bool visible) override { setVisible(visible); }

signals:
    void NIError(int ErrorNumber);
    void doubleClicked();
    // A notification area appeared after the icon was asked for, and the icon is there now.
    void iconAddedLate();

private:
    std::unique_ptr<QMenu> m_mnuSysTray;
    QAction* m_mnuSystrayRestore = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    Availability m_available;
    // Runs while the icon is wanted but the desktop has no notification area.
    QTimer m_trayWatch;
    QIcon m_image;
    QString m_tip;
    bool m_bVisible = false;
};

} // namespace kestrava
