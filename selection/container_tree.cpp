#include "selection/container_tree.h"

#include "platform/core/text.h"

namespace qm {

namespace {

constexpr const char* kTreeSource = "TreeView";

// A domain's own System container is left out with everything below it.
bool isSystemContainer(const std::string& name) {
    return lowerAscii(name) == "cn=system";
}

RunTimeError noQueryConnection() {
    return RunTimeError(3709,
                        "The connection cannot be used to perform this operation. It is either "
                        "closed or invalid in this context.",
                        "ADODB.Recordset");
}

}  // namespace

const ContainerTree::Node& ContainerTree::node(int index) const {
    return subscript(nodes_, static_cast<long long>(index) - 1);
}

ContainerTree::Node& ContainerTree::node(int index) {
    return subscript(nodes_, static_cast<long long>(index) - 1);
}

int ContainerTree::Add(const std::string& parentKey, const std::string& key,
                       const std::string& text) {
    if (indexByKey_.contains(key)) {
        throw RunTimeError(35602, "Key is not unique in collection", kTreeSource);
    }
    int parent = 0;
    if (!parentKey.empty()) {
        const auto found = indexByKey_.find(parentKey);
        if (found == indexByKey_.end()) {
            throw RunTimeError(35601, "Element not found", kTreeSource);
        }
        parent = found->second;
    }
    const int index = Count() + 1;
    nodes_.push_back(Node{key, text, {}, parent, {}, false});
    indexByKey_.emplace(key, index);
    if (parent != 0) {
        node(parent).children.push_back(index);
    }
    lastNode_ = index;
    display_.nodeAdded(index, parent, text);
    return index;
}

void ContainerTree::setTag(int index, const std::string& tag) {
    node(index).tag = tag;
}

void ContainerTree::AddDomainNode(const DirectoryNode& domain, const std::string& parentKey) {
    ErrorTrap trap("QMK4", trap_);
    trap.run([&] {
        trap.step(parentKey.empty() ? "2" : "3");
        Add(parentKey, domain.key, domain.name);

        trap.step("4");
        setTag(lastNode_, kDomainTag);

        trap.step("6");
        for (const DirectoryNode& container : directory_.childContainers(domain.key)) {
            trap.step("7");
            if (!isSystemContainer(container.name)) {
                AddContainerNode(container, domain.key);
            }
        }

        trap.step("8");
        for (const DirectoryNode& childDomain : directory_.childDomains(domain.key)) {
            trap.step("9");
            AddDomainNode(childDomain, domain.key);
        }

        trap.step("10");
    });
}

void ContainerTree::AddContainerNode(const DirectoryNode& container, const std::string& parentKey) {
    ErrorTrap trap("QMK5", trap_);
    trap.run([&] {
        trap.step("1");
        Add(parentKey, container.key, container.name);

        trap.step("2");
        setTag(lastNode_, kDomainContainerTag);

        trap.step("4");
        for (const DirectoryNode& child : directory_.childContainers(container.key)) {
            trap.step("5");
            AddContainerNode(child, container.key);
        }

        trap.step("6");
    });
}

void ContainerTree::setChecked(int index, bool checked) {
    node(index).checked = checked;
    display_.markChanged(index, checked);
}

void ContainerTree::checkedByPerson(int index, bool checked) {
    node(index).checked = checked;
    NodeCheck(index);
}

void ContainerTree::NodeCheck(int index) {
    ErrorTrap trap("QMK6", trap_);
    trap.run([&] {
        trap.step("1");
        const std::string& tag = Tag(index);
        if (tag == kDomainTag || tag == kDomainContainerTag) {
            addToCounts(index, countDirectoryUsers(index, trap));  // steps 2 to 7
        }
        if (tag == kLocalComputerTag) {
            addToCounts(index, countComputerUsers(index, trap));  // steps 8 to 11
        }

        trap.step("12");
        display_.countsChanged(userCount_, checkedNodeCount_);
    });
}

Int32 ContainerTree::countDirectoryUsers(int index, ErrorTrap& trap) {
    // Opening the query reads its first page; the count reads the rest.
    trap.step("5");
    if (connection_ == nullptr) {
        throw noQueryConnection();  // start-up found no domain
    }
    const auto users = connection_->countUsers(Key(index));

    trap.step("6");
    const Int32 rows = users->total();

    trap.step("7");
    return rows;
}

Int32 ContainerTree::countComputerUsers(int index, ErrorTrap& trap) {
    trap.step("8");
    const auto computer = directory_.computer(Text(index));

    trap.step("10");
    Int32 users = 0;
    for (const HeldAccount& user : computer->users()) {
        (void)user;
        ++users;
    }

    trap.step("11");
    return users;
}

// A check adds the node's users and the node; an uncheck takes them away again, counted afresh.
void ContainerTree::addToCounts(int index, Int32 users) {
    if (Checked(index)) {
        userCount_ += users;
        checkedNodeCount_ += 1;
    } else {
        userCount_ -= users;
        checkedNodeCount_ -= 1;
    }
}

void ContainerTree::IncludeSubNodes() {
    ErrorTrap trap("QMK16", trap_);
    trap.run([&] {
        trap.step("1");
        Int16 i = 1;
        while (i < Int16(Count())) {
            trap.step("2");
            if (!Checked(i.value())) {
                ++i;
                continue;
            }
            trap.step("3");
            if (Children(i.value()).empty()) {
                ++i;
                continue;
            }
            // From the first child to the last: the last child's own descendants lie after it.
            trap.step("4");
            const Int16 first = Int16(Children(i.value()).front());
            const Int16 last = Int16(Children(i.value()).back());

            trap.step("5");
            for (Int16 j = first; j <= last; ++j) {
                if (!Checked(j.value())) {
                    setChecked(j.value(), true);
                    NodeCheck(j.value());
                }
                if (j == last) {
                    break;
                }
            }
            i = last + 1;
        }
    });
}

void ContainerTree::ClearAll() {
    ErrorTrap trap("QMK17", trap_);
    trap.run([&] {
        trap.step("1");
        const Int16 count = Int16(Count());
        for (Int16 i = 1; i <= count; ++i) {
            setChecked(i.value(), false);
            if (i == count) {
                break;
            }
        }

        trap.step("2");
        userCount_ = 0;
        checkedNodeCount_ = 0;
        display_.countsChanged(userCount_, checkedNodeCount_);
    });
}

}  // namespace qm
