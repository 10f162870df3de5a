#pragma once

#include <QTreeWidget>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/qt/qt_controls.h"

namespace qm {

// The tree view with a check box on every node: it shows the container tree's nodes and marks
// and reports each check box a person changes, never a mark set from code.
class TreeView : public QTreeWidget {
public:
    using PersonChecked = std::function<void(int index, bool checked)>;

    explicit TreeView(QWidget* parent);

    void onPersonChecked(PersonChecked handler) { personChecked_ = std::move(handler); }

    // Node numbers are the tree's: 1 for the first added. A root's first level shows at once.
    void showNode(int index, int parent, const std::string& text);
    void showMark(int index, bool checked);

    QTreeWidgetItem& item(int index) const;

private:
    void itemChangedByView(QTreeWidgetItem* item);

    std::vector<QTreeWidgetItem*> items_;
    std::unordered_map<const QTreeWidgetItem*, int> indexByItem_;
    std::vector<Qt::CheckState> shownMarks_;
    PersonChecked personChecked_;
    bool changingFromCode_ = false;
    PaintPump pump_;
};

}  // namespace qm
