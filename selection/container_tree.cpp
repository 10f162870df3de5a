#include "selection/container_tree.h"

#include "platform/core/text.h"
#include "selection/selection_screen.h"

namespace qm {

namespace {

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

std::string userCountQuery(const std::string& key) {
    return "<" + key + ">;" + kUserFilter + ";distinguishedName;oneLevel";
}

void frmSelect::AddDomainNode(DirectoryObject& domain, const std::string& parentKey) {
    ErrorTrap trap("QMK4", trapServices_);
    trap.run([&] {
        trap.step("1");
        if (parentKey.empty()) {
            trap.step("2");
            LastNode_ = tvwContainers->Add("", domain.ADsPath(), domain.Name());
        } else {
            trap.step("3");
            LastNode_ = tvwContainers->Add(parentKey, domain.ADsPath(), domain.Name());
        }

        trap.step("4");
        tvwContainers->setTag(LastNode_, kDomainTag);

        trap.step("5");
        domain.setFilter(kContainerClasses);

        trap.step("6");
        auto containers = domain.children();
        for (auto& container : containers) {
            trap.step("7");
            if (!isSystemContainer(container->Name())) {
                AddContainerNode(*container, domain.ADsPath());
            }
        }

        trap.step("8");
        domain.setFilter(kDomainClasses);
        auto childDomains = domain.children();
        for (auto& childDomain : childDomains) {
            trap.step("9");
            AddDomainNode(*childDomain, domain.ADsPath());
        }

        trap.step("10");
    });
}

void frmSelect::AddContainerNode(DirectoryObject& container, const std::string& parentKey) {
    ErrorTrap trap("QMK5", trapServices_);
    trap.run([&] {
        trap.step("1");
        LastNode_ = tvwContainers->Add(parentKey, container.ADsPath(), container.Name());

        trap.step("2");
        tvwContainers->setTag(LastNode_, kDomainContainerTag);

        trap.step("3");
        container.setFilter(kContainerClasses);

        trap.step("4");
        auto children = container.children();
        for (auto& child : children) {
            trap.step("5");
            AddContainerNode(*child, container.ADsPath());
        }

        trap.step("6");
    });
}

void frmSelect::tvwContainers_NodeCheck(int node) {
    ErrorTrap trap("QMK6", trapServices_);
    trap.run([&] {
        trap.step("1");
        const std::string tag = tvwContainers->Tag(node);
        if (tag == kDomainTag || tag == kDomainContainerTag) {
            addToCounts(node, countDirectoryUsers(node, trap));  // steps 2 to 7
        }
        if (tag == kLocalComputerTag) {
            addToCounts(node, countComputerUsers(node, trap));  // steps 8 to 11
        }

        trap.step("12");
        showUserCount();
        enableSelectionButtons(CheckedNodeCount_ != 0);
    });
}

Int32 frmSelect::countDirectoryUsers(int node, ErrorTrap& trap) {
    trap.step("2");
    std::unique_ptr<Recordset> records;

    trap.step("3");
    if (DirectoryConnection_ != nullptr) {
        records = DirectoryConnection_->newRecordset();
    }

    trap.step("4");
    const std::string source = userCountQuery(tvwContainers->Key(node));
    if (records != nullptr) {
        records->setSource(source);
    }

    trap.step("5");
    if (records == nullptr) {
        throw noQueryConnection();  // start-up found no domain
    }
    records->Open();

    trap.step("6");
    const Int32 users = records->RecordCount();

    trap.step("7");
    records->Close();
    return users;
}

Int32 frmSelect::countComputerUsers(int node, ErrorTrap& trap) {
    trap.step("8");
    auto computer = services_.directory.bind("WinNT://" + tvwContainers->Text(node) + ",computer");

    trap.step("9");
    computer->setFilter({"user"});

    trap.step("10");
    Int32 users = 0;
    for (const auto& user : computer->children()) {
        (void)user;
        ++users;
    }

    trap.step("11");
    return users;
}

// A check adds the node's users and the node; an uncheck takes them away again, counted afresh.
void frmSelect::addToCounts(int node, Int32 users) {
    if (tvwContainers->Checked(node)) {
        UserCount_ += users;
        CheckedNodeCount_ += 1;
    } else {
        UserCount_ -= users;
        CheckedNodeCount_ -= 1;
    }
}

void frmSelect::cmdExpand_Click() {
    ErrorTrap trap("QMK16", trapServices_);
    trap.run([&] {
        trap.step("1");
        Int16 i = 1;
        while (i < Int16(tvwContainers->Count())) {
            trap.step("2");
            if (!tvwContainers->Checked(i.value())) {
                ++i;
                continue;
            }
            trap.step("3");
            if (tvwContainers->Children(i.value()) == 0) {
                ++i;
                continue;
            }
            // From the first child to the last: the last child's own descendants lie after it.
            trap.step("4");
            const int firstChild = tvwContainers->Child(i.value());
            const Int16 first = tvwContainers->FirstSibling(firstChild);
            const Int16 last = tvwContainers->LastSibling(firstChild);

            trap.step("5");
            for (Int16 j = first; j <= last; ++j) {
                if (!tvwContainers->Checked(j.value())) {
                    tvwContainers->setChecked(j.value(), true);
                    tvwContainers_NodeCheck(j.value());
                }
                if (j == last) {
                    break;
                }
            }
            i = last + 1;
        }
    });
}

void frmSelect::cmdClear_Click() {
    ErrorTrap trap("QMK17", trapServices_);
    trap.run([&] {
        trap.step("1");
        const Int16 count = Int16(tvwContainers->Count());
        for (Int16 i = 1; i <= count; ++i) {
            tvwContainers->setChecked(i.value(), false);
            if (i == count) {
                break;
            }
        }

        trap.step("2");
        UserCount_ = 0;
        showUserCount();
        CheckedNodeCount_ = 0;
        enableSelectionButtons(false);
    });
}

void frmSelect::cmdAdd_Click() {
    ErrorTrap trap("QMK22", trapServices_);
    trap.run([&] {
        trap.step("1");
        const std::string name =
            trimSpaces(services_.dialogs.inputBox(AppTitle_, "Enter NetBIOS name of computer"));

        trap.step("2");
        if (name.empty()) {
            return;
        }
        std::unique_ptr<DirectoryObject> computer;
        try {
            computer = services_.directory.bind("WinNT://" + name + ",computer");
        } catch (const std::exception&) {
            services_.dialogs.messageBox(AppTitle_, "Computer " + name + " not found",
                                         MessageStyle::Critical);
            return;
        }

        trap.step("3");
        LastNode_ = tvwContainers->Add("", computer->ADsPath(), computer->Name());

        trap.step("4");
        tvwContainers->setTag(LastNode_, kLocalComputerTag);
    });
}

void frmSelect::cmdAddDomain_Click() {
    ErrorTrap trap("QMK23", trapServices_);
    trap.run([&] {
        trap.step("1");
        const std::string name =
            trimSpaces(services_.dialogs.inputBox(AppTitle_, "Enter distinguished name of domain"));

        trap.step("2");
        if (name.empty()) {
            return;
        }
        std::unique_ptr<DirectoryObject> domain;
        try {
            domain = services_.directory.bind("LDAP://" + name);
        } catch (const std::exception&) {
            services_.dialogs.messageBox(AppTitle_, "Domain " + name + " not found",
                                         MessageStyle::Critical);
            return;
        }

        trap.step("3");
        AddDomainNode(*domain, "");
    });
}

void frmSelect::cmdBack_Click() {
    firstScreen_.showFirstScreen();
    firstScreen_.clearNotice();
    hide();
}

void frmSelect::cmdExit_Click() {
    ignoringErrors([this] { closeIfOpen(DirectoryConnection_.get()); });
    services_.programEnd.end(kExitNormally);
}

}  // namespace qm
