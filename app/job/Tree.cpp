#include "app/job/Tree.h"

namespace job {

TreeItem MemoryTree::InsertItem(TreeItem parent, const std::string& text, int image, int stateImage) {
    std::lock_guard<std::mutex> lock(mutex_);
    Node* p = parent ? static_cast<Node*>(parent) : &top_;
    nodes_.emplace_back();
    Node* n = &nodes_.back();
    n->text = text;
    n->image = image;
    n->state = stateImage;
    n->parent = parent ? p : nullptr;
    if (p->lastChild)
        p->lastChild->next = n;
    else
        p->firstChild = n;
    p->lastChild = n;
    return n;
}

TreeItem MemoryTree::Parent(TreeItem item) { return item ? static_cast<Node*>(item)->parent : nullptr; }

TreeItem MemoryTree::FirstChild(TreeItem item) {
    std::lock_guard<std::mutex> lock(mutex_);
    return item ? static_cast<Node*>(item)->firstChild : top_.firstChild;
}

TreeItem MemoryTree::NextSibling(TreeItem item) {
    std::lock_guard<std::mutex> lock(mutex_);
    return item ? static_cast<Node*>(item)->next : nullptr;
}

std::string MemoryTree::Text(TreeItem item) { return item ? static_cast<Node*>(item)->text : std::string(); }
int MemoryTree::Image(TreeItem item) { return item ? static_cast<Node*>(item)->image : 0; }
int MemoryTree::StateImage(TreeItem item) { return item ? static_cast<Node*>(item)->state : 0; }

void MemoryTree::SetStateImage(TreeItem item, int state) {
    if (item) static_cast<Node*>(item)->state = state;
}

void MemoryTree::Expand(TreeItem item) {
    if (item) static_cast<Node*>(item)->expanded = true;
}

bool MemoryTree::IsExpanded(TreeItem item) { return item && static_cast<Node*>(item)->expanded; }

void MemoryTree::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_.clear();
    top_ = Node{};
}

std::size_t MemoryTree::Size() {
    std::lock_guard<std::mutex> lock(mutex_);
    return nodes_.size();
}

}  // namespace job
