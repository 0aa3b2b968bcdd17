#include "gui/shell/clsSysTray.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

namespace kestrava {

clsSysTray::clsSysTray(QObject* parent, Availability available, std::chrono::milliseconds watchInterval)
    : QObject(parent)
    , m_mnuSysTray(std::make_unique<QMenu>(QStringLiteral("&Systray")))
    , m_available(std::move(available)) {
    m_trayWatch.setInterval(watchInterval);
    connect(&m_trayWatch, &QTimer::timeout, this, [this] {
        if (!m_available())
            return;
        m_trayWatch.stop();
        m_bVisible = true;
        emit iconAddedLate();
    });
    m_mnuSysTray->setObjectName(QStringLiteral("mnuSysTray"));
    m_mnuSystrayRestore = m_mnuSysTray->addAction(QStringLiteral("&Open"));
    m_mnuSystrayRestore->setObjectName(QStringLiteral("mnuSystrayRestore"));
    m_icon = new QSystemTrayIcon(this);
    m_icon->setContextMenu(m_mnuSysTray.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            emit doubleClicked();
    });
}

clsSysTray::~clsSysTray() {
    if (m_bVisible)
        HideIcon();
}

void clsSysTray::Initialize(const QIcon& icon, const QString& strTip) {
    m_image = icon;
    m_tip = strTip.left(kMaxTipLength);
}

QString clsSysTray::tip() const {
    return m_tip;
}

bool clsSysTray::AddIcon() {
    m_icon->setIcon(m_image);
    m_icon->setToolTip(m_tip);
    // Shown even without a notification area: Qt adds the icon itself when a late panel brings one, and
    // the watch then marks it visible.
    m_icon->show();
    if (!m_available()) {
        m_trayWatch.start();
        emit NIError(kNoTrayError);
        return false;
    }
    m_trayWatch.stop();
    m_bVisible = true;
    return true;
}

bool clsSysTray::HideIcon() {
    // An icon still waiting for a notification area is no longer wanted either.
    m_trayWatch.stop();
    m_icon->hide();
    if (!m_bVisible) {
        emit NIError(kNoTrayError);
        return false;
    }
    m_bVisible = false;
    return true;
}

bool clsSysTray::Update() {
    if (!m_bVisible)
        return false;
    m_icon->setIcon(m_image);
    m_icon->setToolTip(m_tip);
    return true;
}

void clsSysTray::setVisible(bool bVisible) {
    if (bVisible)
        AddIcon();
    else
        HideIcon();
}

} // namespace kestrava
