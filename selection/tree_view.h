#pragma once

#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/qt/qt_controls.h"
#include "platform/core/run_time_error.h"

namespace qm {

// The tree view with a check box on every node. Nodes are numbered 1..Count in the order they
// were added and keep the Key, Text, Tag and check mark given to them. NodeCheck is raised when a
// person changes a check box, never when code sets a check mark.
class TreeView : public QTreeWidget {
public:
    using NodeCheckHandler = std::function<void(int index)>;

    explicit TreeView(QWidget* parent);

    void onNodeCheck(NodeCheckHandler handler) { nodeCheck_ = std::move(handler); }

    // Adds a node as the last root (empty parent key) or as the last child of the node with the
    // parent key, and returns its number. A Key already in the tree is run-time error 35602, an
    // unknown parent key error 35601.
    int Add(const std::string& parentKey, const std::string& key, const std::string& text);

    int Count() const;
    const std::string& Key(int index) const;
    std::string Text(int index) const;
    const std::string& Tag(int index) const;
    void setTag(int index, const std::string& tag);
    bool Checked(int index) const;
    // Sets the check mark without raising NodeCheck.
    void setChecked(int index, bool checked);

    int Children(int index) const;
    // The number of the node's first child; error 91 when it has none.
    int Child(int index) const;
    // The numbers of the first and last node on the same level under the same parent.
    int FirstSibling(int index) const;
    int LastSibling(int index) const;

    QTreeWidgetItem& item(int index) const;

private:
    struct Node {
        std::string key;
        std::string tag;
        QTreeWidgetItem* item;
        Qt::CheckState lastCheckState;
    };

    const Node& node(int index) const;
    Node& node(int index);
    int indexOf(const QTreeWidgetItem* item) const;
    void itemChangedByView(QTreeWidgetItem* item);

    std::vector<Node> nodes_;
    std::unordered_map<std::string, int> indexByKey_;
    std::unordered_map<const QTreeWidgetItem*, int> indexByItem_;
    NodeCheckHandler nodeCheck_;
    bool changingFromCode_ = false;
    PaintPump pump_;
};

}  // namespace qm
