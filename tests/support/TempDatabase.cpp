#include "TempDatabase.h"

TempDatabase::TempDatabase()
    : m_path(m_dir.filePath(QStringLiteral("kestrava.tlmr"))) {
    kestrava::Database::createFactory(m_path);
    m_db.open(m_path);
}
