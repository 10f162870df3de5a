#pragma once

#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>
#include <string>

#include "platform/qt/screen_services.h"
#include "support/fake_dialogs.h"
#include "support/fake_directory.h"
#include "support/fake_program_end.h"
#include "support/fake_spreadsheet.h"
#include "support/fake_system.h"
#include "support/qt_gtest.h"

namespace qm::testing {

// Every platform service a screen uses, faked.
struct ScreenFixture {
    FakeDialogs dialogs;
    FakeSystem system;
    FakeDirectory directory;
    FakeSpreadsheets spreadsheets;
    FakeProgramEnd programEnd;
    ScreenServices services{dialogs, system, directory, spreadsheets, programEnd};
};

inline const std::string kCorp = "DC=corp,DC=test";
inline const std::string kEmea = "DC=emea,DC=corp,DC=test";

// corp.test with 4 users directly in the domain object and things that are no users beside them,
// a System container to be left out (written in lower case), OU=Sales holding OU=East and a System
// container that stays, and the child domain emea; the local computer PC1 with 3 users and a group.
inline void buildCorpDomain(FakeDirectory& directory) {
    directory.addDomain(kCorp);
    directory.setRootDomain(kCorp);
    for (const char* name : {"Ann", "Bob", "Cid", "Dee"}) {
        directory.addUser(kCorp, name);
    }
    directory.addObject(kCorp, "CN=Contact Person", {"person", "contact"}, "person");
    directory.addObject(kCorp, "CN=WS1", {"person", "user", "computer"}, "computer");
    directory.addContainer(kCorp, "CN=Builtin", "builtinDomain");
    directory.addContainer(kCorp, "CN=Users");
    directory.addUser("CN=Users," + kCorp, "Administrator");
    directory.addObject("CN=Users," + kCorp, "CN=Domain Admins", {"group"}, "group");
    directory.addContainer(kCorp, "cn=System");
    directory.addContainer("CN=System," + kCorp, "CN=Policies");
    directory.addContainer(kCorp, "OU=Sales");
    directory.addUser("OU=Sales," + kCorp, "Eve");
    directory.addUser("OU=Sales," + kCorp, "Fay");
    directory.addContainer("OU=Sales," + kCorp, "OU=East");
    directory.addContainer("OU=Sales," + kCorp, "CN=System");
    directory.addDomain(kEmea, kCorp);
    directory.addContainer(kEmea, "CN=Users");
    directory.addUser("CN=Users," + kEmea, "Gus");

    directory.addComputer("PC1");
    for (const char* name : {"Administrator", "Guest", "backup"}) {
        directory.addLocalUser("PC1", name);
    }
    directory.addLocalUser("PC1", "Administrators", std::nullopt, "Group");
}

// Clicks a tree node's check box where a person would.
inline void clickCheckBox(QTreeWidget& tree, QTreeWidgetItem& item) {
    tree.scrollToItem(&item);
    QStyleOptionViewItem option;
    option.initFrom(tree.viewport());
    option.rect = tree.visualItemRect(&item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item.text(0);
    const QPoint centre =
        tree.style()
            ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, &tree)
            .center();
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, Qt::NoModifier, centre);
}

}  // namespace qm::testing
