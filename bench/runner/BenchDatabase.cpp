#include "BenchDatabase.h"

#include "core/console/Keys.h"
#include "core/startup/TimeText.h"
#include "core/store/Database.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <cstdio>

namespace kestrava::bench {

bool prepareDatabase(const QString& initdb, const QString& path, quint16 port, int groups, int systems,
                     bool groupTimer) {
    if (QProcess::execute(initdb, {path}) != 0) {
        std::fprintf(stderr, "bench: %s failed\n", qPrintable(initdb));
        return false;
    }
    try {
        Database db;
        db.open(path);
        db.transaction([&] {
            db.exec(QStringLiteral("UPDATE Settings_Table SET LocalPort=?, AddToGroup=?"),
                    {port, QStringLiteral("Bench")});
            for (int g = 1; g <= std::max(1, groups); ++g) {
                const QString name = g == 1 ? QStringLiteral("Bench") : QStringLiteral("G%1").arg(g);
                db.exec(QStringLiteral("INSERT INTO Group_Table (Group_Key, Group_Name) VALUES (?, ?)"),
                        {Keys::Make_Group_Key(name), name});
            }
            if (groupTimer)
                db.exec(QStringLiteral("UPDATE Group_Table SET Schedule_Type=3, Timer_Type='N', "
                                       "Timer_Starttime=?, Timer_Period='23:59' WHERE Group_Name='Bench'"),
                        {TimeText::storedDateTime(QDateTime::currentDateTime().addSecs(-60))});
            for (int s = 1; s <= systems; ++s) {
                const QString name = QStringLiteral("PC%1").arg(s);
                db.exec(QStringLiteral("INSERT INTO System_Table (System_Key, System_Name, Group_ID) "
                                       "VALUES (?, ?, (SELECT Group_ID FROM Group_Table ORDER BY Group_ID "
                                       "LIMIT 1 OFFSET ?))"),
                        {Keys::Make_System_Key(QStringLiteral("S%1").arg(s), name), name, (s - 1) % groups});
            }
        });
    } catch (const DatabaseError& error) {
        std::fprintf(stderr, "bench: %s\n", qPrintable(error.toMessage()));
        return false;
    }
    return true;
}

quint16 pickFreePort() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto port = static_cast<quint16>(QRandomGenerator::global()->bounded(20000, 32000));
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, port))
            return port;
    }
    return 0;
}

} // namespace kestrava::bench
