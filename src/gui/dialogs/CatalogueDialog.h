#pragma once

#include "gui/dialogs/SendListsOnClose.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace kestrava {

class Catalogue;
class Prompt;

// The shape that the URL and program catalogue windows share: an entry field, Add, Delete and
// Close, and a one-column list of the catalogue. Deleting sets the changed flag; closing with it set
// sends every group's list.
class CatalogueDialog : public QDialog {
    Q_OBJECT
public:
    // Sends the lists of the node key given (the root's key when a catalogue entry was deleted).
    using SendLists = kestrava::SendLists;

    // Rows with fewer entries than this get a column as wide as the list.
    static constexpr int kRowsBeforeScrollBar = 17;
    static constexpr int kWideColumnTwips = 4300;

    void done(int result) override;

protected:
    struct Texts {
        QString objectName;
        QString caption;
        QString entryName;
        QString entryLabelName;
        QString entryLabel;
        int maxLength = 0;
        QString listName;
        QString listLabelName;
        QString listLabel;
        QString column;
        QString deleteQuestion;
    };

    CatalogueDialog(std::unique_ptr<Catalogue> model, Prompt& prompt, SendLists sendLists, const Texts& texts,
                    QWidget* parent);
    ~CatalogueDialog() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Fills the list from the catalogue afresh.
    void loadList();
    // Asks, then deletes the selected entries.
    void deleteSelected();
    // Adds to the layout below the list; for the help label of the program window.
    void addFooter(QWidget* widget);

private:
    void add();
    void setColumnWidth();
    void selectEntryAndFocus();
    void showError(const QString& message);

    std::unique_ptr<Catalogue> m_model;
    Prompt& m_prompt;
    SendLists m_sendLists;
    QString m_deleteQuestion;
    QLineEdit* m_entry = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_cmdAdd = nullptr;
    QPushButton* m_cmdDelete = nullptr;
    QPushButton* m_cmdClose = nullptr;
    bool m_closed = false;
};

} // namespace kestrava
