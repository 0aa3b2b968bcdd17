#pragma once

#include <QObject>

class QSplitter;
class QWidget;

namespace kestrava {

// Keeps the tree at its share of the window's width (two sevenths until the administrator moves the
// splitter) whenever the window is resized wide enough, and the splitter between tree and list at least
// kEdgeMargin away from either edge.
class MainLayout : public QObject {
    Q_OBJECT
public:
    // 1000 and 3000 twips at 15 twips to the pixel; the gap of 30 twips is the splitter.
    static constexpr int kEdgeMargin = 67;
    static constexpr int kMinimumWidth = 200;
    static constexpr int kGap = 2;

    MainLayout(QWidget& window, QSplitter& splitter, QObject* parent = nullptr);

    // Places tree and list for the splitter's current width.
    void Layout_Main_Window();
    double treeShare() const { return m_treeShare; }
    void setTreeShare(double share);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    QSplitter& m_splitter;
    double m_treeShare = 2.0 / 7.0;
};

} // namespace kestrava
