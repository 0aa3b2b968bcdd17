#include "MainWindow.h"

#include "startup/ProductTitle.h"

#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QTreeView>

namespace kestrava {

MainWindow::MainWindow(ConsoleServices& services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(productTitle());

    auto* splitter = new QSplitter(this);
    m_treSystems = new QTreeView(splitter);
    m_treSystems->setObjectName(QStringLiteral("treSystems"));
    m_treSystems->setHeaderHidden(true);
    m_lvwSystems = new QTreeView(splitter);
    m_lvwSystems->setObjectName(QStringLiteral("lvwSystems"));
    m_lvwSystems->setRootIsDecorated(false);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 5);
    setCentralWidget(splitter);

    m_versionPanel = new QLabel(QStringLiteral("ver. ") + versionText(), this);
    statusBar()->addWidget(m_versionPanel);
    resize(900, 600);
}

} // namespace kestrava
