#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "platform/core/checked_int.h"
#include "platform/core/error_trap.h"
#include "platform/directory.h"

namespace qm {

// The three kinds of tree node, told apart by their Tag alone (compared exactly).
inline constexpr const char* kLocalComputerTag = "Local Computer";
inline constexpr const char* kDomainTag = "Domain";
inline constexpr const char* kDomainContainerTag = "Domain Container";

// What shows the tree: told of every node added and of every mark and count the rules change.
class TreeDisplay {
public:
    virtual ~TreeDisplay() = default;
    virtual void nodeAdded(int index, int parent, const std::string& text) = 0;  // parent 0: a root
    virtual void markChanged(int index, bool checked) = 0;
    virtual void countsChanged(Int32 users, Int16 checkedNodes) = 0;
};

// The container tree and its rules, free of any widget. Nodes are numbered 1..Count in the order
// they were added, every node after its parent, so a node's descendants follow it. A domain's
// containers are read when it is added, its own System container left out; each check mark a
// person changes counts the node's users afresh and adds them to, or takes them from, the totals.
class ContainerTree {
public:
    ContainerTree(DirectoryServices& directory, TrapServices& trap, TreeDisplay& display)
        : directory_(directory), trap_(trap), display_(display) {}

    // Null while start-up has found no domain: counting a directory node then fails.
    void setConnection(QueryConnection* connection) { connection_ = connection; }

    // Adds a node as the last root (empty parent key) or as the last child of the node with the
    // parent key, and returns its number. A Key already in the tree is run-time error 35602, an
    // unknown parent key error 35601.
    int Add(const std::string& parentKey, const std::string& key, const std::string& text);
    void setTag(int index, const std::string& tag);

    // A domain with everything below it (trap QMK4; its containers under QMK5).
    void AddDomainNode(const DirectoryNode& domain, const std::string& parentKey);

    // A mark set by the program: nothing is counted.
    void setChecked(int index, bool checked);
    // A mark a person changed: the node's users are counted (trap QMK6).
    void checkedByPerson(int index, bool checked);
    void NodeCheck(int index);
    // Include Sub Nodes (QMK16): below each checked node, its first to its last child are checked.
    void IncludeSubNodes();
    // Clear All Nodes (QMK17): every mark cleared, both totals back to 0, no query.
    void ClearAll();

    int Count() const { return static_cast<int>(nodes_.size()); }
    const std::string& Key(int index) const { return node(index).key; }
    const std::string& Text(int index) const { return node(index).text; }
    const std::string& Tag(int index) const { return node(index).tag; }
    bool Checked(int index) const { return node(index).checked; }
    int Parent(int index) const { return node(index).parent; }
    const std::vector<int>& Children(int index) const { return node(index).children; }
    int LastNode() const { return lastNode_; }
    Int32 UserCount() const { return userCount_; }
    Int16 CheckedNodeCount() const { return checkedNodeCount_; }

private:
    struct Node {
        std::string key;
        std::string text;
        std::string tag;
        int parent = 0;
        std::vector<int> children;
        bool checked = false;
    };

    const Node& node(int index) const;
    Node& node(int index);
    void AddContainerNode(const DirectoryNode& container, const std::string& parentKey);
    Int32 countDirectoryUsers(int index, ErrorTrap& trap);
    Int32 countComputerUsers(int index, ErrorTrap& trap);
    void addToCounts(int index, Int32 users);

    DirectoryServices& directory_;
    TrapServices& trap_;
    TreeDisplay& display_;
    QueryConnection* connection_ = nullptr;
    std::vector<Node> nodes_;
    std::unordered_map<std::string, int> indexByKey_;
    int lastNode_ = 0;
    Int32 userCount_ = 0;
    Int16 checkedNodeCount_ = 0;
};

}  // namespace qm
