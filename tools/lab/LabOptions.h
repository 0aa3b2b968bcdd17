#pragma once

#include <QString>
#include <QStringList>

// The lab's command line.
struct LabOptions {
    static constexpr int kDefaultComputers = 6;
    static constexpr int kMaxComputers = 50;

    int computers = kDefaultComputers;
    // Where the lab's database is kept at the end; empty: removed with the rest.
    QString keep;
    // Rewritten every second: one line per lab computer, for scripts and tests.
    QString statusFile;
    // Set when the command line is wrong: what to tell the user.
    QString error;
    bool help = false;
    bool version = false;

    static LabOptions parse(const QStringList& arguments);
    static QString helpText();
};
