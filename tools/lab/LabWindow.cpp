#include "LabWindow.h"

#include "LabComputer.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int kRowsShown = 20;

QString yesNo(bool yes, const char* whenYes, const char* whenNo) {
    return QString::fromLatin1(yes ? whenYes : whenNo);
}

} // namespace

LabWindow::LabWindow(const std::vector<LabComputer*>& computers, QWidget* parent)
    : QWidget(parent)
    , m_computers(computers) {
    setObjectName(QStringLiteral("frmLab"));
    setWindowTitle(QStringLiteral("Kestrava lab: %1 computers").arg(computers.size()));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QStringLiteral(
        "Each row is a lab computer with its own agent and student. Switch the internet of \"Classroom\" off "
        "in "
        "the console, or start the game as a student: the agents enforce what the console says."));
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_table = new QTableWidget(static_cast<int>(computers.size()), ColumnCount, this);
    m_table->setObjectName(QStringLiteral("tblComputers"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Computer"), QString(), QStringLiteral("Agent"),
                                        QStringLiteral("Internet"), QStringLiteral("Internet names reached"),
                                        QStringLiteral("Student's programs"), QStringLiteral("Last action")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(m_table);
    m_message = new QLabel(this);
    layout->addWidget(m_message);
    for (int row = 0; row < static_cast<int>(computers.size()); ++row) {
        for (int column = 0; column < ColumnCount; ++column)
            if (column != Actions)
                m_table->setItem(row, column, new QTableWidgetItem);
        m_table->setCellWidget(row, Actions, actionsOf(computers[static_cast<std::size_t>(row)]));
        connect(computers[static_cast<std::size_t>(row)], &LabComputer::changed, this,
                [this, row] { showRow(row); });
        showRow(row);
    }
    // A few rows that change every second: each column follows its texts.
    m_table->setWordWrap(false);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    resize(1280, 140 + 34 * std::min(static_cast<int>(computers.size()), kRowsShown));
}

QWidget* LabWindow::actionsOf(LabComputer* computer) {
    auto* box = new QWidget(m_table);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(2, 0, 2, 0);
    const auto add = [&](const QString& text, auto act) {
        auto* button = new QPushButton(text, box);
        row->addWidget(button);
        connect(button, &QPushButton::clicked, computer, act);
        return button;
    };
    add(QStringLiteral("Open news.example"), [computer] { computer->openNews(); });
    add(QStringLiteral("Start game"), [computer] { computer->startGame(); });
    QPushButton* cable = add(QStringLiteral("Pull the network cable"), [] {});
    cable->setCheckable(true);
    connect(cable, &QPushButton::toggled, computer,
            [computer](bool pulled) { computer->setCablePulled(pulled); });
    add(QStringLiteral("Restart agent"), [computer] { computer->restartAgent(); });
    return box;
}

void LabWindow::showRow(int row) {
    const LabComputer* computer = m_computers[static_cast<std::size_t>(row)];
    m_table->item(row, Computer)->setText(computer->name());
    m_table->item(row, Agent)->setText(yesNo(computer->isConnected(), "connected", "not connected"));
    QString internet = yesNo(computer->isInternetReachable(), "reachable", "unreachable");
    if (computer->isCablePulled())
        internet += QStringLiteral(" (cable pulled)");
    m_table->item(row, Internet)->setText(internet);
    m_table->item(row, Internet)->setForeground(computer->isInternetReachable() ? Qt::darkGreen : Qt::red);
    m_table->item(row, Names)->setText(computer->namesReached().join(QStringLiteral(", ")));
    m_table->item(row, Programs)->setText(computer->programs().join(QStringLiteral(", ")));
    m_table->item(row, LastAction)->setText(computer->lastAction());
}

void LabWindow::showMessage(const QString& text) {
    m_message->setText(text);
}

void LabWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}
