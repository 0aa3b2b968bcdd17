// kestrava-bench-listshow: the list of a group of n systems shown the first time in the console's own
// list widget; the time of the model's work (filling, then every cell the view asks for) and of the
// whole showing, as one JSON line.
#include "BenchClock.h"
#include "core/console/Keys.h"
#include "core/console/SystemListModel.h"
#include "core/console/SystemTree.h"
#include "gui/common/SystemListView.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTreeView>
#include <cstdio>

using namespace kestrava;

namespace {

// The console's list model with the time spent answering the view added up.
class TimedListModel : public SystemListModel {
public:
    using SystemListModel::SystemListModel;
    QVariant data(const QModelIndex& index, int role) const override {
        const qint64 start = bench::nowNs();
        QVariant value = SystemListModel::data(index, role);
        spentNs += bench::nowNs() - start;
        ++calls;
        return value;
    }
    mutable qint64 spentNs = 0;
    mutable qint64 calls = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int n = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 19000;
    SystemTree tree;
    TreeNode* group = tree.addNode(tree.root(), Keys::Make_Group_Key(QStringLiteral("Bench")),
                                   QStringLiteral("Bench"), NodeImage::Group, NodeImage::Group);
    for (int i = 1; i <= n; ++i)
        tree.addNode(group,
                     Keys::Make_System_Key(QStringLiteral("B%1").arg(i), QStringLiteral("PC%1").arg(i)),
                     QStringLiteral("PC%1").arg(i), NodeImage::SystemOffline, NodeImage::SystemOffline);
    TimedListModel list(tree);
    list.setRemoteAddressLookup([](const QString&) { return std::optional<QString>(); });
    SystemListView view;
    view.setModel(&list);
    view.resize(1000, 700);
    list.Show_Node_In_List(tree.root());
    view.show();
    for (int i = 0; i < 20; ++i)
        app.processEvents();
    list.spentNs = list.calls = 0;

    const qint64 start = bench::nowNs();
    list.Show_Node_In_List(group);
    const qint64 filled = bench::nowNs();
    app.processEvents();
    view.detailsView()->viewport()->repaint();
    const qint64 shown = bench::nowNs();

    QJsonObject figures{
        {QStringLiteral("scenario"), QStringLiteral("list_show")},
        {QStringLiteral("n"), n},
        {QStringLiteral("rows"), list.rowCount()},
        {QStringLiteral("fill_ms"), static_cast<double>(filled - start) / 1e6},
        {QStringLiteral("cells_ms"), static_cast<double>(list.spentNs) / 1e6},
        {QStringLiteral("cell_calls"), list.calls},
        {QStringLiteral("model_ms"), static_cast<double>(filled - start + list.spentNs) / 1e6},
        {QStringLiteral("shown_ms"), static_cast<double>(shown - start) / 1e6}};
    std::fputs(QJsonDocument(figures).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
    return 0;
}
