#include "gui/dialogs/AboutDialog.h"

#include "core/startup/ProductTitle.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrava {

namespace {

const char* const kNotice = "Kestrava internet access control. All rights reserved by its makers.";
const char* const kSupportMail = "mailto:support@kestrava.example";
const char* const kSalesMail = "mailto:sales@kestrava.example";
const char* const kWebPage = "http://www.kestrava.example/";

QString number(int value) {
    return QString::number(value);
}

QString licenceText() {
    return QStringLiteral(
        "END-USER LICENCE AGREEMENT\r\n\r\n"
        "This program is licensed, not sold. You may install and use it on the computers of your own "
        "network to control their use of the internet.\r\n\r\n"
        "You may not rent, lease or resell the program, nor remove its notices.\r\n\r\n"
        "The program is provided as it is, without warranty of any kind. Its makers are not liable for any "
        "loss arising from its use or from the inability to use it.\r\n");
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About - Kestrava"));
    sstAbout = new QTabWidget(this);
    sstAbout->setObjectName(QStringLiteral("sstAbout"));
    sstAbout->addTab(buildAboutTab(), QStringLiteral("About"));
    sstAbout->addTab(buildLicenceTab(), QStringLiteral("Licence"));
    sstAbout->addTab(buildCreditsTab(), QStringLiteral("Credits"));
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sstAbout);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    layout->addLayout(buttons);

    tmrInterval = new QTimer(this);
    tmrInterval->setObjectName(QStringLiteral("tmrInterval"));
    // One pixel per tick, at the pace the credits were written for.
    tmrInterval->setInterval(450);
    connect(tmrInterval, &QTimer::timeout, this, &AboutDialog::tmrInterval_Timer);
    const int credits = sstAbout->indexOf(picContainer->parentWidget());
    connect(sstAbout, &QTabWidget::currentChanged, this,
            [this, credits](int index) { index == credits ? tmrInterval->start() : tmrInterval->stop(); });
    sstAbout->setCurrentIndex(0);
    resize(460, 340);
}

QString AboutDialog::titleText() {
    return QStringLiteral("Kestrava ver. ") + number(version::major) + QLatin1Char('.') +
           number(version::minor);
}

QString AboutDialog::buildText() {
    return QStringLiteral("Build ") + number(version::major) + QLatin1Char('.') + number(version::minor) +
           QLatin1Char('.') + number(version::revision);
}

QString AboutDialog::creditsText() {
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("Kestrava Version ") + number(version::major) + QLatin1Char('.') +
           number(version::minor) + crlf + crlf + buildText() + crlf + crlf + QLatin1String(kNotice) + crlf +
           crlf + QStringLiteral("Support") + crlf + QStringLiteral("support@kestrava.example") + crlf +
           crlf + QStringLiteral("Sales") + crlf + QStringLiteral("sales@kestrava.example") + crlf + crlf +
           QStringLiteral("On the web") + crlf + QLatin1String(kWebPage);
}

QWidget* AboutDialog::buildAboutTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    imgLogo = new QLabel(tab);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setPixmap(QIcon(QStringLiteral(":/icons/root-32.png")).pixmap(32, 32));
    imgLogo->setProperty("tag", QLatin1String(kWebPage));
    lblTitle = new QLabel(titleText(), tab);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont title = lblTitle->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.4);
    lblTitle->setFont(title);
    lblBuild = new QLabel(buildText(), tab);
    lblBuild->setObjectName(QStringLiteral("lblBuild"));
    auto* notice = new QLabel(QLatin1String(kNotice), tab);
    notice->setWordWrap(true);
    auto* heading = new QHBoxLayout;
    heading->addWidget(imgLogo);
    heading->addWidget(lblTitle, 1);
    layout->addLayout(heading);
    layout->addWidget(lblBuild);
    txtFingerprint = new QLineEdit(tab);
    txtFingerprint->setObjectName(QStringLiteral("txtConsoleFingerprint"));
    txtFingerprint->setReadOnly(true);
    txtFingerprint->setToolTip(QStringLiteral("SHA-256 fingerprint of this console's key"));
    txtFingerprint->hide();
    layout->addWidget(txtFingerprint);
    layout->addWidget(notice);
    const char* const targets[] = {kSupportMail, kSalesMail};
    const char* const captions[] = {"support@kestrava.example", "sales@kestrava.example"};
    for (std::size_t i = 0; i < lblLinks.size(); ++i) {
        QLabel* link = new QLabel(QString::fromLatin1(captions[i]), tab);
        link->setObjectName(QStringLiteral("lblLinks"));
        link->setProperty("index", static_cast<int>(i));
        link->setProperty("tag", QLatin1String(targets[i]));
        link->setCursor(Qt::PointingHandCursor);
        QPalette palette = link->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
        link->setPalette(palette);
        link->installEventFilter(this);
        layout->addWidget(link);
        lblLinks[i] = link;
    }
    imgLogo->setCursor(Qt::PointingHandCursor);
    imgLogo->installEventFilter(this);
    layout->addStretch();
    return tab;
}

QWidget* AboutDialog::buildLicenceTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    txtEULA = new QPlainTextEdit(licenceText(), tab);
    txtEULA->setObjectName(QStringLiteral("txtEULA"));
    txtEULA->setReadOnly(true);
    layout->addWidget(txtEULA);
    return tab;
}

QWidget* AboutDialog::buildCreditsTab() {
    auto* tab = new QWidget;
    auto* layout = new QVBoxLayout(tab);
    picContainer = new QWidget(tab);
    picContainer->setObjectName(QStringLiteral("picContainer"));
    picContainer->setMinimumHeight(200);
    txtCredits = new QLabel(creditsText(), picContainer);
    txtCredits->setObjectName(QStringLiteral("txtCredits"));
    txtCredits->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    txtCredits->adjustSize();
    txtCredits->move(0, 0);
    layout->addWidget(picContainer);
    return tab;
}

void AboutDialog::tmrInterval_Timer() {
    txtCredits->resize(picContainer->width(), txtCredits->sizeHint().height());
    if (txtCredits->y() + txtCredits->height() <= 0)
        txtCredits->move(0, picContainer->height());
    else
        txtCredits->move(0, txtCredits->y() - 1);
}

bool AboutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == imgLogo)
            QDesktopServices::openUrl(QUrl(imgLogo->property("tag").toString()));
        for (QLabel* link : lblLinks) {
            if (watched == link)
                openLink(link);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AboutDialog::openLink(QLabel* link) {
    QPalette palette = link->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Disabled, QPalette::Text));
    link->setPalette(palette);
    QDesktopServices::openUrl(QUrl(link->property("tag").toString()));
}

void AboutDialog::setConsoleFingerprint(const QString& fingerprint) {
    txtFingerprint->setText(QStringLiteral("Console key: ") + fingerprint);
    txtFingerprint->setVisible(!fingerprint.isEmpty());
}

} // namespace kestrava
