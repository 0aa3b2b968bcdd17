#pragma once

#include "LabOptions.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class LabComputer;
class LabNetwork;
class LabWindow;
class ScratchConsole;

// The whole lab: the network, the console, the computers and the lab window. Whatever way it ends, end()
// removes everything it made, and a later start removes what a killed run left.
class Classroom : public QObject {
    Q_OBJECT
public:
    // The folder beside which the console, the agent and the game are.
    Classroom(LabOptions options, QString programFolder, QObject* parent = nullptr);
    ~Classroom() override;

    // Removes the namespaces and scratch folders of runs that no longer run; one line for each.
    static QStringList removeLeftovers();
    // Builds and starts everything; why it failed (after cleaning up), or empty.
    QString start();
    // Removes everything and leaves the event loop with exitCode; message said first when not empty.
    void end(int exitCode, const QString& message);

private:
    QString build();
    void tick();
    void writeStatus() const;
    void cleanUp();

    LabOptions m_options;
    QString m_programFolder;
    QString m_scratch;
    std::unique_ptr<LabNetwork> m_network;
    std::unique_ptr<ScratchConsole> m_console;
    std::vector<std::unique_ptr<LabComputer>> m_computers;
    std::unique_ptr<LabWindow> m_window;
    QTimer m_tick;
    bool m_ended = false;
};
