#pragma once

#include <QObject>

class QAction;
class QLabel;
class QStatusBar;

namespace kestrava {

class Clock;

// sbrMain's panels after the version panel: the web address, the time and the date. A double click on the
// version panel runs the version item of the Help menu, on the web address opens it.
class StatusPanels : public QObject {
    Q_OBJECT
public:
    StatusPanels(QStatusBar& bar, QLabel& versionPanel, QAction& versionItem, const Clock& clock,
                 QObject* parent = nullptr);

    static QString webAddress();
    // Shows the clock's time and date.
    void tick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel& m_versionPanel;
    QAction& m_versionItem;
    const Clock& m_clock;
    QLabel* m_webPanel = nullptr;
    QLabel* m_timePanel = nullptr;
    QLabel* m_datePanel = nullptr;
};

} // namespace kestrava
