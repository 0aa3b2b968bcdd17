#include "gui/mainwindow/StatusPanels.h"

#include "core/startup/Clock.h"

#include <QAction>
#include <QDesktopServices>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

namespace kestrava {

StatusPanels::StatusPanels(QStatusBar& bar, QLabel& versionPanel, QAction& versionItem, const Clock& clock,
                           QObject* parent)
    : QObject(parent)
    , m_versionPanel(versionPanel)
    , m_versionItem(versionItem)
    , m_clock(clock) {
    bar.setObjectName(QStringLiteral("sbrMain"));
    m_webPanel = new QLabel(webAddress(), &bar);
    m_webPanel->setObjectName(QStringLiteral("sbrMainWeb"));
    m_webPanel->setProperty("tag", webAddress());
    m_timePanel = new QLabel(&bar);
    m_timePanel->setObjectName(QStringLiteral("sbrMainTime"));
    m_datePanel = new QLabel(&bar);
    m_datePanel->setObjectName(QStringLiteral("sbrMainDate"));
    bar.addWidget(m_webPanel, 1);
    bar.addPermanentWidget(m_timePanel);
    bar.addPermanentWidget(m_datePanel);
    m_versionPanel.installEventFilter(this);
    m_webPanel->installEventFilter(this);
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &StatusPanels::tick);
    timer->start(1000);
    tick();
}

QString StatusPanels::webAddress() {
    return QStringLiteral("http://www.kestrava.example/");
}

void StatusPanels::tick() {
    const QDateTime now = m_clock.now();
    const QLocale english = QLocale::c();
    m_timePanel->setText(english.toString(now.time(), QStringLiteral("h:mm AP")));
    m_datePanel->setText(english.toString(now.date(), QStringLiteral("M/d/yyyy")));
}

bool StatusPanels::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == &m_versionPanel)
            m_versionItem.trigger();
        else if (watched == m_webPanel)
            QDesktopServices::openUrl(QUrl(m_webPanel->property("tag").toString()));
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kestrava
