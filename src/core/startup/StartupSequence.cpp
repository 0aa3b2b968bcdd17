#include "core/startup/StartupSequence.h"

#include "core/startup/ConsoleAccess.h"
#include "core/startup/DatabaseAccess.h"
#include "core/startup/DatabaseCompactor.h"
#include "core/store/Database.h"

#include <QCoreApplication>
#include <QTimer>

namespace kestrava {

void Init_Globals() {
    QCoreApplication::setOrganizationName(QStringLiteral("Talmerin"));
    QCoreApplication::setApplicationName(QStringLiteral("kestrava"));
}

bool Open_Database(Database& db, const QString& path) {
    db.open(path);
    return db.isOpen();
}

StartupSequence::StartupSequence(Database& db, QString databasePath, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_db(db)
    , m_databasePath(std::move(databasePath))
    , m_clock(clock) {}

void StartupSequence::start() {
    QTimer::singleShot(0, this, [this] { runStep(1); });
}

void StartupSequence::runStep(int step) {
    try {
        switch (step) {
        case 1:
            Init_Globals();
            break;
        case 2:
            // Told before anything is written, rather than as the first write fails.
            if (const QString problem = databaseAccessProblem(m_databasePath); !problem.isEmpty()) {
                emit failed(problem);
                return;
            }
            Compact_Database(m_databasePath, m_clock);
            break;
        case 3:
            Open_Database(m_db, m_databasePath);
            break;
        case 4:
            if (!Check_Database_Version(m_db)) {
                emit incompatibleVersion();
                return;
            }
            break;
        default:
            break;
        }
    } catch (const DatabaseError& error) {
        emit failed(error.toMessage());
        return;
    }
    emit progressed(step);
    if (step == kSteps) {
        emit ready();
        return;
    }
    QTimer::singleShot(0, this, [this, step] { runStep(step + 1); });
}

} // namespace kestrava
