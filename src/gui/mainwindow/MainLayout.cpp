#include "gui/mainwindow/MainLayout.h"

#include <QEvent>
#include <QSplitter>
#include <cmath>

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
    connect(&m_splitter, &QSplitter::splitterMoved, this, [this] {
        const QList<int> sizes = m_splitter.sizes();
        if (sizes.size() == 2 && sizes[0] + sizes[1] > 0)
            m_treeShare = static_cast<double>(sizes[0] + kGap) / (sizes[0] + sizes[1] + kGap);
    });
}

void MainLayout::setTreeShare(double share) {
    if (share > 0.05 && share < 0.95)
        m_treeShare = share;
    Layout_Main_Window();
}

void MainLayout::Layout_Main_Window() {
    const int width = m_splitter.width();
    if (width < kMinimumWidth || m_splitter.count() != 2)
        return;
    const int tree = static_cast<int>(std::floor(width * m_treeShare + 1e-9)) - kGap;
    m_splitter.setSizes({tree, width - tree - kGap});
}

bool MainLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_splitter && event->type() == QEvent::Resize && !m_window.isMinimized())
        Layout_Main_Window();
    return QObject::eventFilter(watched, event);
}

} // namespace kestrava
