#pragma once

#include <QWidget>

class QProgressBar;

namespace kestrava {

// frmSplash: the banner with the loading progress; a key or a click closes it.
class SplashWindow final : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget* parent = nullptr);

    QProgressBar& pbrLoading() const { return *m_pbrLoading; }
    void setProgress(int value);

signals:
    void dismissed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QProgressBar* m_pbrLoading = nullptr;
};

} // namespace kestrava
