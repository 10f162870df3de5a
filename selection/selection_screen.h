#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "document/document_run.h"
#include "logonhours/logon_hours.h"
#include "platform/core/checked_int.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/screen_services.h"
#include "selection/tree_view.h"
#include "setting/set_run.h"

class QLabel;
class QProgressBar;

namespace qm {

// The first screen as the selection screen sees it: its controls are read at the moment they are
// needed, never copied.
class FirstScreen {
public:
    virtual ~FirstScreen() = default;
    virtual bool optDocumentValue() = 0;
    virtual bool optXLValue() = 0;
    virtual std::string txtFileText() = 0;
    virtual void showFirstScreen() = 0;
    virtual void clearNotice() = 0;  // lblNotice's caption
};

// The selection screen: the tree of computers, domains, containers and organizational units with
// their check marks and user counts, and the host of the Document and Set runs. Its start-up runs
// once, the first time the first screen's Next shows it; the screen is hidden, never destroyed.
class frmSelect : public QWidget, public DocumentScreen, public SetScreen {
public:
    frmSelect(ScreenServices& services, FirstScreen& firstScreen);
    ~frmSelect() override;

    void Form_Load();

    void tvwContainers_NodeCheck(int node);
    void cmdExpand_Click();
    void cmdClear_Click();
    void cmdAdd_Click();
    void cmdAddDomain_Click();
    void cmdBack_Click();
    void cmdExit_Click();
    void cmdOK_Click();

    // What the runs read and move.
    std::string countCaption() override;
    Int16 nodeCount() override;
    TreeNodeState node(Int16 index) override;
    ProgressBar& progressBar() override;
    bool workbookChosen() override;
    std::string fileName() override;
    void showSelectionScreen() override;

    // The form-level fields.
    const std::string& AppTitle() const { return AppTitle_; }
    Int16 BiasHours() const { return BiasHours_; }
    int LastNode() const { return LastNode_; }
    Connection* DirectoryConnection() const { return DirectoryConnection_.get(); }
    Int32 UserCount() const { return UserCount_; }
    Int16 CheckedNodeCount() const { return CheckedNodeCount_; }

    // The controls.
    QLabel* lblSelect;
    TreeView* tvwContainers;
    CommandButton* cmdClear;
    QLabel* lblNumber;
    QLabel* lblCount;
    CommandButton* cmdExpand;
    CommandButton* cmdAdd;
    CommandButton* cmdAddDomain;
    QProgressBar* pbrUsers;
    CommandButton* cmdExit;
    CommandButton* cmdBack;
    CommandButton* cmdOK;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    void arrangeTabOrder();
    void placeControls(QSize growth);
    void connectHandlers();
    void onClick(QAbstractButton* button, void (frmSelect::*handler)());

    void layOutForDocument();
    void layOutForSet();
    void addLocalComputer(ErrorTrap& trap);
    void addForestRootDomain(ErrorTrap& trap);

    void AddDomainNode(DirectoryObject& domain, const std::string& parentKey);
    void AddContainerNode(DirectoryObject& container, const std::string& parentKey);
    Int32 countDirectoryUsers(int node, ErrorTrap& trap);
    Int32 countComputerUsers(int node, ErrorTrap& trap);
    void addToCounts(int node, Int32 users);
    void showUserCount();
    void enableSelectionButtons(bool enabled);

    ScreenServices& services_;
    FirstScreen& firstScreen_;
    ScreenTrapServices trapServices_;
    LogonHours logonHours_;
    std::unique_ptr<QtProgressBar> progressBar_;

    std::string AppTitle_;
    Int16 BiasHours_;
    int LastNode_ = 0;
    std::unique_ptr<Connection> DirectoryConnection_;
    Int32 UserCount_;
    Int16 CheckedNodeCount_;
};

}  // namespace qm
