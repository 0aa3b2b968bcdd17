#include "MainLayout.h"

#include <QEvent>
#include <QSplitter>

namespace kestrava {

MainLayout::MainLayout(QWidget& window, QSplitter& splitter, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_splitter(splitter) {
    m_splitter.setHandleWidth(kGap);
    m_splitter.setChildrenCollapsible(false);
    for (int i = 0; i < m_splitter.count(); ++i)
        m_splitter.widget(i)->setMinimumWidth(kEdgeMargin);
    m_splitter.installEventFilter(this);
}

void MainLayout::Layout_Main_Window() {
    const int width = m_splitter.width();
    if (width < kMinimumWidth || m_splitter.count() != 2)
        return;
    const int tree = 2 * width / 7 - kGap;
    m_splitter.setSizes({tree, width - tree - kGap});
}

bool MainLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_splitter && event->type() == QEvent::Resize && !m_window.isMinimized())
        Layout_Main_Window();
    return QObject::eventFilter(watched, event);
}

} // namespace kestrava
