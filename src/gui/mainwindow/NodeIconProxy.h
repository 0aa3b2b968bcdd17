#pragma once

#include <QHash>
#include <QIcon>
#include <QIdentityProxyModel>

namespace kestrava {

// Shows the image numbers of the tree and list models as icons: the image for an item as it is, the
// selected image while the view draws it selected.
class NodeIconProxy : public QIdentityProxyModel {
    Q_OBJECT
public:
    explicit NodeIconProxy(QObject* parent = nullptr);

    // The icon of image 1 to 5 (root, group, selected group, system not connected, connected), with the
    // selected image for the selected mode.
    static QIcon nodeIcon(int image, int selectedImage);

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    mutable QHash<int, QIcon> m_icons;
};

} // namespace kestrava
