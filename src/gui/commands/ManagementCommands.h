#pragma once

#include <QObject>
#include <memory>

namespace kestrava {

class ConnectionManager;
class GroupSystemManager;
class MainMenus;
class MainToolBar;
class Messenger;
class Prompt;
class PropertiesDialog;
class PromptQuestions;
class SystemsWindow;
struct TreeNode;

// The main window's group and system commands: Add New, Rename, Delete, Set Default Name, label editing
// in the tree and the list, and dropping systems on groups. Database errors are shown, not thrown.
class ManagementCommands : public QObject {
    Q_OBJECT
public:
    ManagementCommands(SystemsWindow& window, Prompt& prompt, QObject* parent = nullptr);
    ~ManagementCommands() override;

    void connectMenus(const MainMenus& menus);
    void setPrompt(Prompt& prompt);
    void setLink(ConnectionManager* connections, Messenger* messenger);
    GroupSystemManager& manager() const { return *m_manager; }

    // The new group is selected and its label opened for editing.
    void addNewGroup();
    void renameSelected();
    void deleteSelected();
    void setDefaultNames();
    // frmProperties for the active selection when it is a group or a system; nullptr otherwise.
    PropertiesDialog* showProperties();

signals:
    // A group was added: the Delete button is offered.
    void groupAdded();

private:
    void installLabelEditing();
    void installDragAndDrop();
    void commitLabel(const QString& key, const QString& text, bool refreshList);
    void dropOnTree(bool fromList, const QStringList& keys, const QString& targetKey);
    void dropOnList(const QStringList& keys, const QString& targetKey);
    // The node whose children the list shows: the tree's selected node, or its parent for a system.
    TreeNode* listOrigin() const;
    template <typename Work> void guarded(Work work);

    SystemsWindow& m_window;
    Prompt* m_prompt;
    std::unique_ptr<PromptQuestions> m_questions;
    std::unique_ptr<GroupSystemManager> m_manager;
};

} // namespace kestrava
