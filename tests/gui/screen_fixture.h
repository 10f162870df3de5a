#pragma once

#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "platform/screen_services.h"
#include "support/fake_dialogs.h"
#include "support/fake_directory.h"
#include "support/fake_program_end.h"
#include "support/fake_spreadsheet.h"
#include "support/fake_system.h"

namespace qm::testing {

// Every platform service a screen uses, faked.
struct ScreenFixture {
    FakeDialogs dialogs;
    FakeSystem system;
    FakeDirectory directory;
    FakeWorkbookFiles workbookFiles;
    FakeSpreadsheetFactory spreadsheets{workbookFiles};
    FakeProgramEnd programEnd;
    ScreenServices services{dialogs, system, directory, spreadsheets, programEnd};
};

inline const std::string kCorp = "DC=corp,DC=test";
inline const std::string kEmea = "DC=emea,DC=corp,DC=test";

// The domain corp.test, with 4 users directly in the domain object, the usual containers, a
// System container to be left out, OU=Sales holding OU=East and a System container of its own, and
// the child domain emea; plus the local computer PC1 with 3 local users and a group.
inline void buildCorpDomain(FakeDirectory& directory) {
    directory.addDomain(kCorp);
    directory.setRootDomain(kCorp);
    for (const char* name : {"Ann", "Bob", "Cid", "Dee"}) {
        directory.addUser(kCorp, name);
    }
    directory.addContainer(kCorp, "CN=Builtin", "builtinDomain");
    directory.addContainer(kCorp, "CN=Users");
    directory.addUser("CN=Users," + kCorp, "Administrator");
    directory.addOther("CN=Users," + kCorp, "CN=Domain Admins", "group");
    directory.addContainer(kCorp, "CN=Computers");
    directory.addOther("CN=Computers," + kCorp, "CN=WS1", "computer");
    directory.addContainer(kCorp, "cn=System");
    directory.addContainer("CN=System," + kCorp, "CN=Policies");
    directory.addContainer(kCorp, "OU=Sales");
    directory.addUser("OU=Sales," + kCorp, "Eve");
    directory.addUser("OU=Sales," + kCorp, "Fay");
    directory.addContainer("OU=Sales," + kCorp, "OU=East");
    directory.addContainer("OU=Sales," + kCorp, "CN=System");
    directory.addOther(kCorp, "CN=Contact Person", "contact");
    directory.addContainer(kCorp, "OU=Domain Controllers");
    directory.addDomain(kEmea, kCorp);
    directory.addContainer(kEmea, "CN=Users");
    directory.addUser("CN=Users," + kEmea, "Gus");

    directory.addComputer("PC1");
    for (const char* name : {"Administrator", "Guest", "backup"}) {
        directory.addLocalUser("PC1", name);
    }
    directory.addLocalGroup("PC1", "Administrators");
}

// The centre of a tree node's check box, where a person clicks.
inline QPoint checkBoxCentre(QTreeWidget& tree, QTreeWidgetItem& item) {
    tree.scrollToItem(&item);
    QStyleOptionViewItem option;
    option.initFrom(tree.viewport());
    option.rect = tree.visualItemRect(&item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item.text(0);
    option.checkState = item.checkState(0);
    return tree.style()
        ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &tree)
        .center();
}

inline void clickCheckBox(QTreeWidget& tree, QTreeWidgetItem& item) {
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, checkBoxCentre(tree, item));
}

inline void pressSpaceOn(QTreeWidget& tree, QTreeWidgetItem& item) {
    tree.setFocus();
    tree.setCurrentItem(&item);
    QTest::keyClick(&tree, Qt::Key_Space);
}

// The widgets that take focus, in the order Tab visits them from the first.
inline std::vector<QString> tabOrderFrom(QWidget& window, QWidget& first, int steps) {
    std::vector<QString> visited;
    first.setFocus(Qt::TabFocusReason);
    for (int i = 0; i < steps; ++i) {
        visited.push_back(window.focusWidget() ? window.focusWidget()->objectName() : QString());
        QTest::keyClick(window.focusWidget(), Qt::Key_Tab);
    }
    return visited;
}

}  // namespace qm::testing
