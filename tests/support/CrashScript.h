#pragma once

#include "AnsweringQuestions.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "core/link/ConnectionManager.h"
#include "core/link/IncomingMessages.h"
#include "core/link/Messenger.h"
#include "core/link/ServiceCommands.h"
#include "core/management/GroupSystemManager.h"
#include "core/policy/PolicyCommands.h"
#include "core/policy/PolicyTarget.h"
#include "core/startup/Clock.h"

#include <random>

// A site of groups and systems and a reproducible series of the console's own commands on it: group-wide
// policy changes, schedule and timer applies, white and block list moves, moves of systems between groups,
// blank screen, catalogue changes and storms of identifications. The same seed gives the same series on
// the same starting database, so a process killed in the middle of command n can be checked against the
// database after n - 1 and after n commands.
class CrashScript {
public:
    static constexpr int kGroups = 4;
    static constexpr int kSystemsPerGroup = 40;
    static constexpr int kCatalogueSize = 60;

    // db: an open factory database.
    CrashScript(kestrava::Database& db, quint32 seed);

    // Writes the starting site, as commands of the console would.
    void setUp();
    // Runs the next command of the series; returns its name.
    QString runNext();
    // Failures that the link reported instead of throwing them.
    const QStringList& errors() const { return m_errors; }

    // Every row of every table, in row order: equal dumps are equal databases.
    static QString dump(kestrava::Database& db);
    // "ok" when SQLite finds the file sound.
    static QString integrity(kestrava::Database& db);

private:
    int pick(int count);
    kestrava::TreeNode* randomNode(bool group);
    kestrava::PolicyTarget randomTarget();

    QString policy();
    QString scheduleApply();
    QString timerApply();
    QString listMove();
    QString systemsMove();
    QString blankScreen();
    QString catalogueChange();
    QString identification();

    kestrava::Database& m_db;
    std::mt19937 m_random;
    kestrava::FixedClock m_clock;
    kestrava::SystemTree m_tree;
    kestrava::SystemListModel m_list;
    AnsweringQuestions m_answers{true};
    kestrava::ConnectionManager m_connections;
    kestrava::Messenger m_messenger;
    kestrava::IncomingMessages m_incoming;
    kestrava::PolicyCommands m_policy;
    kestrava::GroupSystemManager m_manager;
    kestrava::ServiceCommands m_service;
    int m_count = 0;
    int m_stormLeft = 0;
    int m_newSystems = 0;
    QStringList m_errors;
};
