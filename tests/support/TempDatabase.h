#pragma once

#include "core/store/Database.h"

#include <QString>
#include <QTemporaryDir>

// A factory database in a folder of its own that disappears with the test.
class TempDatabase {
public:
    TempDatabase();

    kestrava::Database& db() { return m_db; }
    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_path;
    kestrava::Database m_db;
};
