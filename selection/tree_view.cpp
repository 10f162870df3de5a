#include "selection/tree_view.h"

#include <QHeaderView>

#include "platform/core/checked_int.h"

namespace qm {

namespace {

// Code changes the items too (adding them, setting marks): only changes outside these guards can
// come from a person.
class GuardFlag {
public:
    explicit GuardFlag(bool& flag) : flag_(flag), previous_(flag) { flag_ = true; }
    ~GuardFlag() { flag_ = previous_; }
    GuardFlag(const GuardFlag&) = delete;
    GuardFlag& operator=(const GuardFlag&) = delete;

private:
    bool& flag_;
    bool previous_;
};

}  // namespace

TreeView::TreeView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    header()->hide();
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTreeWidget::itemChanged, this,
            [this](QTreeWidgetItem* changed, int) { itemChangedByView(changed); });
}

void TreeView::showNode(int index, int parent, const std::string& text) {
    GuardFlag guard(changingFromCode_);
    auto* added = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    added->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    added->setCheckState(0, Qt::Unchecked);
    if (parent != 0) {
        item(parent).addChild(added);
    } else {
        addTopLevelItem(added);
        added->setExpanded(true);
    }
    items_.push_back(added);
    shownMarks_.push_back(Qt::Unchecked);
    indexByItem_.emplace(added, index);
    pump_.keepPainted();
}

void TreeView::showMark(int index, bool checked) {
    GuardFlag guard(changingFromCode_);
    const Qt::CheckState state = checked ? Qt::Checked : Qt::Unchecked;
    subscript(shownMarks_, static_cast<long long>(index) - 1) = state;
    item(index).setCheckState(0, state);
}

QTreeWidgetItem& TreeView::item(int index) const {
    return *subscript(items_, static_cast<long long>(index) - 1);
}

void TreeView::itemChangedByView(QTreeWidgetItem* changed) {
    const auto found = indexByItem_.find(changed);
    if (changingFromCode_ || found == indexByItem_.end()) {
        return;
    }
    Qt::CheckState& shown = shownMarks_[static_cast<std::size_t>(found->second) - 1];
    const Qt::CheckState now = changed->checkState(0);
    // itemChanged also fires for text and repeated notifications: only a new mark is a check.
    if (now == shown) {
        return;
    }
    shown = now;
    if (personChecked_) {
        personChecked_(found->second, now == Qt::Checked);
    }
}

}  // namespace qm
