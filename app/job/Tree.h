// The small tree interface through which engine code fills the window's
// trees (disk tree, volume tree, directory tree). The desktop program
// implements it over its tree widgets; MemoryTree serves the command-line
// program and tests.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "app/job/TreeItem.h"

namespace job {

// Check-box state images of the directory tree.
enum CheckState : int { kNoStateImage = 0, kUnchecked = 1, kChecked = 2, kPartlyChecked = 3 };

class TreeView {
public:
    virtual ~TreeView() = default;
    // Inserts an item as the last child of `parent` (nullptr: a top-level item).
    virtual TreeItem InsertItem(TreeItem parent, const std::string& text, int image, int stateImage) = 0;
    virtual TreeItem Parent(TreeItem item) = 0;       // nullptr for top-level items
    virtual TreeItem FirstChild(TreeItem item) = 0;   // nullptr: first top-level item
    virtual TreeItem NextSibling(TreeItem item) = 0;
    virtual std::string Text(TreeItem item) = 0;
    virtual int Image(TreeItem item) = 0;
    virtual int StateImage(TreeItem item) = 0;
    virtual void SetStateImage(TreeItem item, int state) = 0;
    virtual void Expand(TreeItem item) = 0;
    // Removes every item (a fresh, empty tree).
    virtual void Clear() = 0;
    TreeItem Root() { return FirstChild(nullptr); }
};

class MemoryTree : public TreeView {
public:
    TreeItem InsertItem(TreeItem parent, const std::string& text, int image, int stateImage) override;
    TreeItem Parent(TreeItem item) override;
    TreeItem FirstChild(TreeItem item) override;
    TreeItem NextSibling(TreeItem item) override;
    std::string Text(TreeItem item) override;
    int Image(TreeItem item) override;
    int StateImage(TreeItem item) override;
    void SetStateImage(TreeItem item, int state) override;
    void Expand(TreeItem item) override;
    void Clear() override;
    bool IsExpanded(TreeItem item);
    std::size_t Size();

private:
    struct Node {
        std::string text;
        int image = 0;
        int state = 0;
        bool expanded = false;
        Node* parent = nullptr;
        Node* firstChild = nullptr;
        Node* lastChild = nullptr;
        Node* next = nullptr;
    };
    std::mutex mutex_;
    std::deque<Node> nodes_;  // stable addresses
    Node top_;                // holds the top-level items
};

}  // namespace job
