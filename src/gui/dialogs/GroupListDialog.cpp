#include "gui/dialogs/GroupListDialog.h"

#include "core/console/Keys.h"
#include "core/lists/GroupList.h"
#include "core/store/DatabaseError.h"
#include "gui/common/Prompt.h"
#include "gui/dialogs/SendListsOnClose.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrava {

namespace {

QList<int> selectedRows(const QListWidget* list) {
    QList<int> rows;
    for (QListWidgetItem* item : list->selectedItems())
        rows.append(list->row(item));
    return rows;
}

// Moves the items of the rows that the model moved, in its order, keeping the selection of the rest.
void moveItems(QListWidget* from, QListWidget* to, const QList<int>& moved) {
    for (const int row : moved) {
        QListWidgetItem* item = from->takeItem(row);
        item->setSelected(false);
        to->addItem(item);
    }
}

} // namespace

GroupListDialog::GroupListDialog(std::unique_ptr<GroupList> model, Prompt& prompt, SendLists sendLists,
                                 const Texts& texts, QWidget* parent)
    : QDialog(parent)
    , m_model(std::move(model))
    , m_prompt(prompt)
    , m_sendLists(std::move(sendLists)) {
    setObjectName(texts.objectName);
    setWindowTitle(texts.caption);

    auto* lblGroup = new QLabel(QStringLiteral("Group"), this);
    lblGroup->setObjectName(QStringLiteral("lblGroup"));
    m_txtGroupName = new QLineEdit(this);
    m_txtGroupName->setObjectName(QStringLiteral("txtGroupName"));
    m_txtGroupName->setReadOnly(true);
    m_lblSystem = new QLabel(QStringLiteral("System"), this);
    m_lblSystem->setObjectName(QStringLiteral("lblSystem"));
    m_txtSystemName = new QLineEdit(this);
    m_txtSystemName->setObjectName(QStringLiteral("txtSystemName"));
    m_txtSystemName->setReadOnly(true);

    auto* frame = new QGroupBox(texts.frameCaption, this);
    frame->setObjectName(texts.frameName);
    auto* availableLabel = new QLabel(texts.availableLabel, frame);
    availableLabel->setObjectName(texts.availableLabelName);
    auto* listedLabel = new QLabel(texts.listedLabel, frame);
    listedLabel->setObjectName(texts.listedLabelName);
    // The two lists are one control array: the same name, told apart by their index.
    m_available = new QListWidget(frame);
    m_available->setObjectName(texts.listName);
    m_available->setProperty("index", 0);
    m_listed = new QListWidget(frame);
    m_listed->setObjectName(texts.listName);
    m_listed->setProperty("index", 1);
    for (QListWidget* list : {m_available, m_listed}) {
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setMinimumSize(200, 240);
        list->installEventFilter(this);
    }
    auto* cmdMoveTo = new QPushButton(QStringLiteral(">>"), frame);
    cmdMoveTo->setObjectName(QStringLiteral("cmdMoveTo"));
    auto* cmdMoveBack = new QPushButton(QStringLiteral("<<"), frame);
    cmdMoveBack->setObjectName(QStringLiteral("cmdMoveBack"));
    m_count = new QLabel(frame);
    m_count->setObjectName(texts.countName);
    auto* cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    for (QPushButton* button : {cmdMoveTo, cmdMoveBack, cmdClose})
        button->setAutoDefault(false);

    auto* buttons = new QVBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdMoveTo);
    buttons->addWidget(cmdMoveBack);
    buttons->addStretch();
    auto* frameLayout = new QGridLayout(frame);
    frameLayout->addWidget(availableLabel, 0, 0);
    frameLayout->addWidget(listedLabel, 0, 2);
    frameLayout->addWidget(m_available, 1, 0);
    frameLayout->addLayout(buttons, 1, 1);
    frameLayout->addWidget(m_listed, 1, 2);
    frameLayout->addWidget(m_count, 2, 2, Qt::AlignRight);

    auto* layout = new QGridLayout(this);
    layout->addWidget(lblGroup, 0, 0);
    layout->addWidget(m_txtGroupName, 0, 1);
    layout->addWidget(m_lblSystem, 1, 0);
    layout->addWidget(m_txtSystemName, 1, 1);
    layout->addWidget(frame, 2, 0, 1, 3);
    layout->addWidget(cmdClose, 3, 2, Qt::AlignRight);
    layout->setColumnStretch(2, 1);

    connect(cmdMoveTo, &QPushButton::clicked, this, &GroupListDialog::moveTo);
    connect(cmdMoveBack, &QPushButton::clicked, this, &GroupListDialog::moveBack);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(m_available, &QListWidget::itemDoubleClicked, this, &GroupListDialog::moveTo);
    connect(m_listed, &QListWidget::itemDoubleClicked, this, &GroupListDialog::moveBack);
}

GroupListDialog::~GroupListDialog() = default;

void GroupListDialog::Show_Selected_Group(const QString& key, const QString& text) {
    if (!Keys::Is_Group_Key(key))
        return;
    m_model->setGroupKey(key);
    m_txtGroupName->setText(text);
    m_lblSystem->hide();
    m_txtSystemName->hide();
}

void GroupListDialog::loadLists() {
    try {
        m_model->load();
    } catch (const DatabaseError& error) {
        showError(error.toMessage());
    }
    m_available->clear();
    m_listed->clear();
    m_available->addItems(m_model->available());
    m_listed->addItems(m_model->listed());
    updateCount();
}

void GroupListDialog::moveTo() {
    try {
        const GroupList::MoveResult result = m_model->moveTo(selectedRows(m_available));
        moveItems(m_available, m_listed, result.moved);
        updateCount();
        if (result.limitReached)
            m_prompt.inform(this, m_model->limitMessage());
    } catch (const DatabaseError& error) {
        showError(error.toMessage());
    }
}

void GroupListDialog::moveBack() {
    try {
        const GroupList::MoveResult result = m_model->moveBack(selectedRows(m_listed));
        moveItems(m_listed, m_available, result.moved);
        updateCount();
    } catch (const DatabaseError& error) {
        showError(error.toMessage());
    }
}

void GroupListDialog::updateCount() {
    m_count->setText(QString::number(m_listed->count()));
}

void GroupListDialog::showError(const QString& message) {
    m_prompt.error(this, message);
}

bool GroupListDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == m_available &&
            (key == Qt::Key_Insert || key == Qt::Key_Return || key == Qt::Key_Enter)) {
            moveTo();
            return true;
        }
        if (watched == m_listed && key == Qt::Key_Delete) {
            moveBack();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void GroupListDialog::done(int result) {
    if (!m_closed) {
        m_closed = true;
        sendListsOnClose(m_sendLists, m_model->keyToSendOnClose(),
                         [this](const QString& message) { showError(message); });
    }
    QDialog::done(result);
}

} // namespace kestrava
