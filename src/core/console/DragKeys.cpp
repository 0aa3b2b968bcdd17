#include "core/console/DragKeys.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

namespace kestrava::DragKeys {

QString treeFormat() {
    return QStringLiteral("application/x-kestrava-tree-node");
}

QString listFormat() {
    return QStringLiteral("application/x-kestrava-list-items");
}

QMimeData* pack(const QString& format, const QStringList& keys) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << keys;
    auto* data = new QMimeData;
    data->setData(format, bytes);
    return data;
}

QStringList unpack(const QMimeData* data, const QString& format) {
    if (!data || !data->hasFormat(format))
        return {};
    QDataStream in(data->data(format));
    QStringList keys;
    in >> keys;
    return in.status() == QDataStream::Ok ? keys : QStringList();
}

} // namespace kestrava::DragKeys
