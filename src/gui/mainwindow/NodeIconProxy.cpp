#include "gui/mainwindow/NodeIconProxy.h"

#include "core/console/NodeRoles.h"

namespace kestrava {

namespace {

QString iconName(int image) {
    switch (image) {
    case 1:
        return QStringLiteral("root");
    case 2:
        return QStringLiteral("group");
    case 3:
        return QStringLiteral("group-selected");
    case 4:
        return QStringLiteral("system-offline");
    case 5:
        return QStringLiteral("system-online");
    default:
        return {};
    }
}

void addImage(QIcon& icon, int image, QIcon::Mode mode) {
    const QString name = iconName(image);
    if (name.isEmpty())
        return;
    for (int size : {16, 32})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(name).arg(size), QSize(size, size), mode);
}

} // namespace

NodeIconProxy::NodeIconProxy(QObject* parent)
    : QIdentityProxyModel(parent) {}

QIcon NodeIconProxy::nodeIcon(int image, int selectedImage) {
    QIcon icon;
    addImage(icon, image, QIcon::Normal);
    addImage(icon, selectedImage, QIcon::Selected);
    return icon;
}

QVariant NodeIconProxy::data(const QModelIndex& index, int role) const {
    // The whole name, for views whose cells are too narrow for it.
    if (role == Qt::ToolTipRole && index.column() == 0)
        return QIdentityProxyModel::data(index, Qt::DisplayRole);
    if (role != Qt::DecorationRole || index.column() != 0)
        return QIdentityProxyModel::data(index, role);
    const QVariant image = QIdentityProxyModel::data(index, ImageRole);
    if (!image.isValid())
        return {};
    const int selectedImage = QIdentityProxyModel::data(index, SelectedImageRole).toInt();
    const int cacheKey = image.toInt() * 16 + selectedImage;
    auto it = m_icons.find(cacheKey);
    if (it == m_icons.end())
        it = m_icons.insert(cacheKey, nodeIcon(image.toInt(), selectedImage));
    return *it;
}

} // namespace kestrava
