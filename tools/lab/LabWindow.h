#pragma once

#include <QWidget>
#include <vector>

class LabComputer;
class QLabel;
class QTableWidget;

// The lab window: one row per lab computer with what it shows now, and buttons to act as its student.
class LabWindow : public QWidget {
    Q_OBJECT
public:
    // The buttons come first: columns after them widen and narrow with their texts.
    enum Column { Computer, Actions, Agent, Internet, Names, Programs, LastAction, ColumnCount };

    explicit LabWindow(const std::vector<LabComputer*>& computers, QWidget* parent = nullptr);

    void showMessage(const QString& text);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* actionsOf(LabComputer* computer);
    void showRow(int row);

    std::vector<LabComputer*> m_computers;
    QTableWidget* m_table = nullptr;
    QLabel* m_message = nullptr;
};
