#include "gui/common/SplashWindow.h"

#include "core/startup/ProductTitle.h"
#include "core/startup/StartupSequence.h"

#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace kestrava {

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(productTitle());

    auto* name = new QLabel(productTitle().trimmed(), this);
    QFont big = name->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    name->setFont(big);
    name->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(QStringLiteral("ver. ") + versionText(), this);
    version->setAlignment(Qt::AlignCenter);

    m_pbrLoading = new QProgressBar(this);
    m_pbrLoading->setObjectName(QStringLiteral("pbrLoading"));
    m_pbrLoading->setRange(0, StartupSequence::kSteps);
    m_pbrLoading->setValue(0);
    m_pbrLoading->setTextVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addSpacing(12);
    layout->addWidget(m_pbrLoading);
    setFixedSize(380, 180);
}

void SplashWindow::setProgress(int value) {
    m_pbrLoading->setValue(value);
}

void SplashWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit dismissed();
}

void SplashWindow::keyPressEvent(QKeyEvent*) {
    close();
}

void SplashWindow::mousePressEvent(QMouseEvent*) {
    close();
}

} // namespace kestrava
