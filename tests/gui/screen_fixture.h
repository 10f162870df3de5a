#pragma once

#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTreeWidget>

#include "platform/qt/screen_services.h"
#include "selection/selection_screen.h"
#include "selection/tree_view.h"
#include "support/fake_directory.h"
#include "support/fake_platform.h"
#include "support/qt_gtest.h"
#include "support/run_time_errors.h"

namespace qm::testing {

// Records how the program would have ended and unwinds with ProgramEnded instead.
class FakeProgramEnd : public ProgramEnd {
public:
    [[noreturn]] void end(int exitStatus) override {
        status = exitStatus;
        throw ProgramEnded{};
    }
    std::optional<int> status;
};

// Every platform service a screen uses, faked.
struct ScreenFixture {
    FakeDialogs dialogs;
    FakeSystem system;
    FakeDirectory directory;
    FakeSpreadsheets spreadsheets;
    FakeProgramEnd programEnd;
    ScreenServices services{dialogs, system, directory, spreadsheets, programEnd};
};

// The first screen's choices as the selection screen reads them.
struct FakeFirstScreen : FirstScreen {
    bool document = true;
    bool optDocumentValue() override { return document; }
    bool optXLValue() override { return false; }
    std::string txtFileText() override { return {}; }
    void showFirstScreen() override {}
    void clearNotice() override {}
};

// Clicks the check box of a node of the screen's tree where a person would.
inline void clickNode(const QWidget& screen, int node) {
    auto& tree = control<TreeView>(screen, "tvwContainers");
    QTreeWidgetItem& item = tree.item(node);
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
