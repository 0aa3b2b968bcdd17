#include "gui/dialogs/CatalogueDialog.h"

#include "core/lists/Catalogue.h"
#include "core/store/DatabaseError.h"
#include "gui/common/Prompt.h"
#include "gui/dialogs/SendListsOnClose.h"

#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kestrava {

namespace {

constexpr int kTwipsPerInch = 1440;

} // namespace

CatalogueDialog::CatalogueDialog(std::unique_ptr<Catalogue> model, Prompt& prompt, SendLists sendLists,
                                 const Texts& texts, QWidget* parent)
    : QDialog(parent)
    , m_model(std::move(model))
    , m_prompt(prompt)
    , m_sendLists(std::move(sendLists))
    , m_deleteQuestion(texts.deleteQuestion) {
    setObjectName(texts.objectName);
    setWindowTitle(texts.caption);

    auto* entryLabel = new QLabel(texts.entryLabel, this);
    entryLabel->setObjectName(texts.entryLabelName);
    m_entry = new QLineEdit(this);
    m_entry->setObjectName(texts.entryName);
    m_entry->setMaxLength(texts.maxLength);
    entryLabel->setBuddy(m_entry);

    auto* listLabel = new QLabel(texts.listLabel, this);
    listLabel->setObjectName(texts.listLabelName);
    m_list = new QTreeWidget(this);
    m_list->setObjectName(texts.listName);
    m_list->setColumnCount(1);
    m_list->setHeaderLabels({texts.column});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->header()->setStretchLastSection(false);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Wide enough for the wide column and the vertical scroll bar beside it.
    const int wide = kWideColumnTwips * logicalDpiX() / kTwipsPerInch;
    m_list->setFixedWidth(wide + m_list->verticalScrollBar()->sizeHint().width() + 2 * m_list->frameWidth());
    m_list->setMinimumHeight(260);

    m_cmdAdd = new QPushButton(QStringLiteral("&Add"), this);
    m_cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    m_cmdAdd->setDefault(true);
    m_cmdDelete = new QPushButton(QStringLiteral("&Delete"), this);
    m_cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    m_cmdDelete->setAutoDefault(false);
    m_cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_cmdClose->setAutoDefault(false);

    auto* layout = new QGridLayout(this);
    layout->addWidget(entryLabel, 0, 0, 1, 2);
    layout->addWidget(m_entry, 1, 0);
    layout->addWidget(m_cmdAdd, 1, 1);
    layout->addWidget(listLabel, 2, 0, 1, 2);
    layout->addWidget(m_list, 3, 0, 3, 1);
    layout->addWidget(m_cmdDelete, 3, 1);
    layout->addWidget(m_cmdClose, 4, 1);
    layout->setRowStretch(5, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_cmdAdd, &QPushButton::clicked, this, &CatalogueDialog::add);
    connect(m_cmdDelete, &QPushButton::clicked, this, [this] {
        deleteSelected();
        selectEntryAndFocus();
    });
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(m_list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { m_entry->setText(item->text(0)); });
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    m_entry->installEventFilter(this);
}

CatalogueDialog::~CatalogueDialog() = default;

void CatalogueDialog::addFooter(QWidget* widget) {
    auto* grid = static_cast<QGridLayout*>(layout());
    grid->addWidget(widget, 6, 0, 1, 2);
}

void CatalogueDialog::loadList() {
    try {
        m_model->load();
    } catch (const DatabaseError& error) {
        showError(error.toMessage());
    }
    m_list->clear();
    for (const QString& entry : m_model->entries())
        m_list->addTopLevelItem(new QTreeWidgetItem(QStringList{entry}));
    setColumnWidth();
}

void CatalogueDialog::add() {
    try {
        const Catalogue::AddResult result = m_model->add(m_entry->text());
        switch (result.outcome) {
        case Catalogue::AddOutcome::Empty:
            break;
        case Catalogue::AddOutcome::Refused:
        case Catalogue::AddOutcome::AlreadyAdded:
            m_prompt.inform(this, result.message);
            break;
        case Catalogue::AddOutcome::Added:
            m_list->addTopLevelItem(new QTreeWidgetItem(QStringList{m_model->entries().last()}));
            m_entry->clear();
            setColumnWidth();
            break;
        }
    } catch (const DatabaseError& error) {
        showError(error.toMessage());
    }
    selectEntryAndFocus();
}

void CatalogueDialog::deleteSelected() {
    if (m_list->topLevelItemCount() == 0)
        return;
    if (m_prompt.ask(this, m_deleteQuestion, Prompt::Answer::No) != Prompt::Answer::Yes)
        return;
    QList<int> rows;
    for (QTreeWidgetItem* item : m_list->selectedItems())
        rows.append(m_list->indexOfTopLevelItem(item));
    if (rows.isEmpty())
        return;
    try {
        m_model->removeRows(rows);
    } catch (const DatabaseError& error) {
        showError(error.toMessage());
        return;
    }
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (const int row : rows)
        delete m_list->takeTopLevelItem(row);
    m_entry->clear();
    setColumnWidth();
}

void CatalogueDialog::setColumnWidth() {
    const bool scrolls = m_list->topLevelItemCount() >= kRowsBeforeScrollBar;
    m_list->setColumnWidth(0, scrolls ? kWideColumnTwips * logicalDpiX() / kTwipsPerInch
                                      : m_list->width() - 2 * m_list->frameWidth());
}

void CatalogueDialog::selectEntryAndFocus() {
    m_entry->selectAll();
    if (m_entry->isEnabled())
        m_entry->setFocus();
}

void CatalogueDialog::showError(const QString& message) {
    m_prompt.error(this, message);
}

bool CatalogueDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        m_cmdDelete->click();
        return true;
    }
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonPress &&
        !m_list->itemAt(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        m_list->clearSelection();
        return true;
    }
    if (watched == m_entry && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, m_entry, &QLineEdit::selectAll);
    return QDialog::eventFilter(watched, event);
}

void CatalogueDialog::done(int result) {
    if (!m_closed) {
        m_closed = true;
        sendListsOnClose(m_sendLists, m_model->keyToSendOnClose(),
                         [this](const QString& message) { showError(message); });
    }
    QDialog::done(result);
}

} // namespace kestrava
