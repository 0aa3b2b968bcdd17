#pragma once

#include "LinkHarness.h"
#include "core/policy/PolicyTarget.h"

#include <QString>
#include <QStringList>

namespace kestrava {
class SimulatedClient;
}

// The group Lab with two connected members: pc1 follows the group, pc2 has settings of its own. Tests of
// the policy editors write the policies they start from on top.
struct LabScene {
    LabScene();

    // Call after writing the starting policies: loads the tree and connects pc1 and pc2.
    bool connect();
    // Whether connect() connected both.
    bool ready() const { return c1 && c2; }
    // The first value an SQL query gives, as a number.
    int number(const QString& sql, const QVariantList& values = {}) {
        return db().scalar(sql, values).toInt();
    }
    kestrava::Database& db() { return h.db(); }
    kestrava::PolicyTarget group() const;
    kestrava::PolicyTarget system(const QString& key, const QString& name) const;
    // Groups, systems and both schedule tables, row by row.
    QStringList dump();

    LinkHarness h;
    int lab = 0;
    QString labKey;
    QString pc1, pc2;
    kestrava::SimulatedClient* c1 = nullptr;
    kestrava::SimulatedClient* c2 = nullptr;
};
