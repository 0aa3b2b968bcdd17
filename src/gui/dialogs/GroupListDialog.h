#pragma once

#include "gui/dialogs/SendListsOnClose.h"

#include <QDialog>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace kestrava {

class GroupList;
class Prompt;

// The shape that the white list and block list windows share: the group's name, the catalogue entries
// not on its list beside its list, the two move buttons and the count. Closing after a move sends the
// group's list to its connected members.
class GroupListDialog : public QDialog {
    Q_OBJECT
public:
    using SendLists = kestrava::SendLists;

    ~GroupListDialog() override;
    void done(int result) override;

    // Takes the main window's selection: only a group key is kept.
    void Show_Selected_Group(const QString& key, const QString& text);

protected:
    struct Texts {
        QString objectName;
        QString caption;
        QString frameName;
        QString frameCaption;
        QString listName;
        QString availableLabelName;
        QString availableLabel;
        QString listedLabelName;
        QString listedLabel;
        QString countName;
    };

    GroupListDialog(std::unique_ptr<GroupList> model, Prompt& prompt, SendLists sendLists, const Texts& texts,
                    QWidget* parent);

    bool eventFilter(QObject* watched, QEvent* event) override;
    // Fills both lists from the database.
    void loadLists();

private:
    void moveTo();
    void moveBack();
    void updateCount();
    void showError(const QString& message);

    std::unique_ptr<GroupList> m_model;
    Prompt& m_prompt;
    SendLists m_sendLists;
    QLineEdit* m_txtGroupName = nullptr;
    QLineEdit* m_txtSystemName = nullptr;
    QLabel* m_lblSystem = nullptr;
    QListWidget* m_available = nullptr;
    QListWidget* m_listed = nullptr;
    QLabel* m_count = nullptr;
    bool m_closed = false;
};

} // namespace kestrava
