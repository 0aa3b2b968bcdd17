#include "core/console/SystemTree.h"

#include "core/console/Keys.h"

#include <algorithm>

namespace kestrava {

SystemTree::SystemTree(QObject* parent)
    : QObject(parent) {
    reset();
}

SystemTree::~SystemTree() = default;

void SystemTree::reset() {
    emit aboutToReset();
    m_byKey.clear();
    m_order.clear();
    m_root = std::make_unique<TreeNode>();
    m_root->key = Keys::rootKey();
    m_root->text = Keys::rootText();
    m_root->image = NodeImage::Root;
    m_root->selectedImage = NodeImage::Root;
    m_byKey.insert(hashKey(m_root->key), m_root.get());
    m_order.push_back(m_root.get());
    emit resetDone();
}

TreeNode* SystemTree::Get_Node_Index_From_Key(const QString& key) const {
    return m_byKey.value(hashKey(key), nullptr);
}

TreeNode* SystemTree::addNode(TreeNode* parent, const QString& key, const QString& text, NodeImage image,
                              NodeImage selectedImage) {
    if (!parent || key.isEmpty() || m_byKey.contains(hashKey(key)))
        return nullptr;
    auto node = std::make_unique<TreeNode>();
    node->key = key;
    node->text = text;
    node->image = image;
    node->selectedImage = selectedImage;
    node->parent = parent;
    node->rowHint = parent->children.size();
    TreeNode* raw = node.get();
    emit nodeAboutToBeAdded(parent, static_cast<int>(parent->children.size()));
    parent->children.push_back(std::move(node));
    m_byKey.insert(hashKey(key), raw);
    m_order.push_back(raw);
    emit nodeAdded(raw);
    return raw;
}

void SystemTree::forget(TreeNode* node) {
    for (const auto& child : node->children)
        forget(child.get());
    m_byKey.remove(hashKey(node->key));
    m_order.erase(std::find(m_order.begin(), m_order.end(), node));
}

void SystemTree::removeNode(TreeNode* node) {
    if (!node || !node->parent)
        return;
    emit nodeAboutToBeRemoved(node);
    TreeNode* parent = node->parent;
    forget(node);
    auto& siblings = parent->children;
    siblings.erase(
        std::find_if(siblings.begin(), siblings.end(), [node](const auto& c) { return c.get() == node; }));
    emit nodeRemoved(parent);
}

void SystemTree::moveNode(TreeNode* node, TreeNode* newParent) {
    if (!node || !node->parent || !newParent || node->parent == newParent)
        return;
    for (const TreeNode* up = newParent; up; up = up->parent) {
        if (up == node)
            return;
    }
    emit nodeAboutToBeMoved(node, newParent);
    auto& siblings = node->parent->children;
    auto it =
        std::find_if(siblings.begin(), siblings.end(), [node](const auto& c) { return c.get() == node; });
    std::unique_ptr<TreeNode> owned = std::move(*it);
    siblings.erase(it);
    owned->parent = newParent;
    owned->rowHint = newParent->children.size();
    newParent->children.push_back(std::move(owned));
    emit nodeMoved(node);
}

void SystemTree::setText(TreeNode* node, const QString& text) {
    node->text = text;
    emit nodeChanged(node);
}

bool SystemTree::setKey(TreeNode* node, const QString& key) {
    const QString newHash = hashKey(key);
    const QString oldHash = hashKey(node->key);
    if (newHash != oldHash && m_byKey.contains(newHash))
        return false;
    m_byKey.remove(oldHash);
    node->key = key;
    m_byKey.insert(newHash, node);
    emit nodeChanged(node);
    return true;
}

void SystemTree::setImages(TreeNode* node, NodeImage image, NodeImage selectedImage) {
    if (node->image == image && node->selectedImage == selectedImage)
        return;
    node->image = image;
    node->selectedImage = selectedImage;
    emit nodeChanged(node);
}

void SystemTree::setTag(TreeNode* node, const QString& tag) {
    if (node->tag == tag)
        return;
    node->tag = tag;
    emit nodeChanged(node);
}

std::vector<TreeNode*> SystemTree::systemsOf(const TreeNode* node) const {
    std::vector<TreeNode*> systems;
    if (!node)
        return systems;
    if (Keys::Is_System_Key(node->key)) {
        systems.push_back(const_cast<TreeNode*>(node));
        return systems;
    }
    for (const auto& child : node->children) {
        if (Keys::Is_System_Key(child->key))
            systems.push_back(child.get());
    }
    return systems;
}

} // namespace kestrava
