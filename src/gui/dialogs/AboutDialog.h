#pragma once

#include <QDialog>
#include <array>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace kestrava {

// frmAbout: the product's version and build, the licence and credits that scroll while their tab is
// shown.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    static QString titleText(); // "Kestrava ver. " major "." minor
    static QString buildText(); // "Build " major "." minor "." revision
    static QString creditsText();

    // "AB:CD:…" of the console's certificate; empty hides it.
    void setConsoleFingerprint(const QString& fingerprint);

    QTabWidget* sstAbout = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblBuild = nullptr;
    // The console's certificate fingerprint, selectable; hidden until it is known.
    QLineEdit* txtFingerprint = nullptr;
    QLabel* imgLogo = nullptr;
    std::array<QLabel*, 2> lblLinks{};
    QPlainTextEdit* txtEULA = nullptr;
    QWidget* picContainer = nullptr;
    QLabel* txtCredits = nullptr;
    QTimer* tmrInterval = nullptr;
    QPushButton* cmdOK = nullptr;

    // One step of the credits: up by one, or in again from the bottom once they have left the top.
    void tmrInterval_Timer();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildAboutTab();
    QWidget* buildLicenceTab();
    QWidget* buildCreditsTab();
    void openLink(QLabel* link);
};

} // namespace kestrava
