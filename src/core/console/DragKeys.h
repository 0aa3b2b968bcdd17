#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QMimeData;

namespace kestrava {

// The keys that a drag of tree nodes or list items carries, in the format of its source.
namespace DragKeys {

QString treeFormat();
QString listFormat();

QMimeData* pack(const QString& format, const QStringList& keys);
QStringList unpack(const QMimeData* data, const QString& format);

} // namespace DragKeys

} // namespace kestrava
