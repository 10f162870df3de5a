#include "selection/tree_view.h"

#include <QHeaderView>

#include "platform/core/checked_int.h"
#include "platform/core/run_time_error.h"

namespace qm {

namespace {

constexpr const char* kTreeSource = "TreeView";

RunTimeError keyNotUnique() {
    return RunTimeError(35602, "Key is not unique in collection", kTreeSource);
}
RunTimeError elementNotFound() {
    return RunTimeError(35601, "Element not found", kTreeSource);
}
RunTimeError noSuchNode() {
    return RunTimeError(91, "Object variable or With block variable not set", kTreeSource);
}

// Code changes the items too (adding, tagging, setting marks): only these guard-free changes
// can come from a person.
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

int TreeView::Add(const std::string& parentKey, const std::string& key, const std::string& text) {
    if (indexByKey_.contains(key)) {
        throw keyNotUnique();
    }
    QTreeWidgetItem* parent = nullptr;
    if (!parentKey.empty()) {
        const auto found = indexByKey_.find(parentKey);
        if (found == indexByKey_.end()) {
            throw elementNotFound();
        }
        parent = node(found->second).item;
    }
    const int index = static_cast<int>(nodes_.size()) + 1;

    GuardFlag guard(changingFromCode_);
    auto* item = new QTreeWidgetItem(QStringList{QString::fromStdString(text)});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    if (parent != nullptr) {
        parent->addChild(item);
    } else {
        addTopLevelItem(item);
        item->setExpanded(true);  // a root's first level shows at once
    }
    nodes_.push_back(Node{key, {}, item, Qt::Unchecked});
    indexByKey_.emplace(key, index);
    indexByItem_.emplace(item, index);
    pump_.keepPainted();
    return index;
}

int TreeView::Count() const {
    return static_cast<int>(nodes_.size());
}

const std::string& TreeView::Key(int index) const {
    return node(index).key;
}

std::string TreeView::Text(int index) const {
    return node(index).item->text(0).toStdString();
}

const std::string& TreeView::Tag(int index) const {
    return node(index).tag;
}

void TreeView::setTag(int index, const std::string& tag) {
    node(index).tag = tag;
}

bool TreeView::Checked(int index) const {
    return node(index).item->checkState(0) == Qt::Checked;
}

void TreeView::setChecked(int index, bool checked) {
    Node& target = node(index);
    GuardFlag guard(changingFromCode_);
    target.lastCheckState = checked ? Qt::Checked : Qt::Unchecked;
    target.item->setCheckState(0, target.lastCheckState);
}

int TreeView::Children(int index) const {
    return node(index).item->childCount();
}

int TreeView::Child(int index) const {
    const QTreeWidgetItem* first = node(index).item->child(0);
    if (first == nullptr) {
        throw noSuchNode();
    }
    return indexOf(first);
}

int TreeView::FirstSibling(int index) const {
    const QTreeWidgetItem* item = node(index).item;
    const QTreeWidgetItem* parent = item->parent();
    return indexOf(parent != nullptr ? parent->child(0) : topLevelItem(0));
}

int TreeView::LastSibling(int index) const {
    const QTreeWidgetItem* item = node(index).item;
    const QTreeWidgetItem* parent = item->parent();
    return indexOf(parent != nullptr ? parent->child(parent->childCount() - 1)
                                     : topLevelItem(topLevelItemCount() - 1));
}

QTreeWidgetItem& TreeView::item(int index) const {
    return *node(index).item;
}

const TreeView::Node& TreeView::node(int index) const {
    return subscript(nodes_, static_cast<long long>(index) - 1);
}

TreeView::Node& TreeView::node(int index) {
    return subscript(nodes_, static_cast<long long>(index) - 1);
}

int TreeView::indexOf(const QTreeWidgetItem* item) const {
    const auto found = indexByItem_.find(item);
    if (found == indexByItem_.end()) {
        throw noSuchNode();
    }
    return found->second;
}

void TreeView::itemChangedByView(QTreeWidgetItem* changed) {
    if (changingFromCode_) {
        return;
    }
    const auto found = indexByItem_.find(changed);
    if (found == indexByItem_.end()) {
        return;
    }
    Node& target = node(found->second);
    const Qt::CheckState now = changed->checkState(0);
    // itemChanged also fires for text and repeated notifications: only a new mark is a check.
    if (now == target.lastCheckState) {
        return;
    }
    target.lastCheckState = now;
    if (nodeCheck_) {
        nodeCheck_(found->second);
    }
}

}  // namespace qm
