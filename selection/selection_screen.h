#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "document/document_run.h"
#include "logonhours/logon_hours.h"
#include "platform/core/checked_int.h"
#include "platform/qt/qt_controls.h"
#include "platform/qt/screen_services.h"
#include "selection/container_tree.h"
#include "setting/set_run.h"

class QLabel;
class QProgressBar;

namespace qm {

class TreeView;

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
class SelectionScreen : public QWidget,
                        public DocumentScreen,
                        public SetScreen,
                        private TreeDisplay {
public:
    SelectionScreen(ScreenServices& services, FirstScreen& firstScreen);
    ~SelectionScreen() override;

    // Lays the screen out for the task chosen; for Document it builds the tree, for Set it runs
    // the Set task to its end (trap QMK1).
    void startUp();
    // The Document button: the Document run on the checked nodes.
    void documentUsers();

    const ContainerTree& containerTree() const { return tree_; }
    ContainerTree& containerTree() { return tree_; }
    QueryConnection* directoryConnection() const { return connection_.get(); }
    Int16 biasHours() const { return biasHours_; }

    // What the runs read and move.
    std::string countCaption() override;
    Int16 nodeCount() override;
    TreeNodeState node(Int16 index) override;
    ProgressBar& progressBar() override;
    bool workbookChosen() override;
    std::string fileName() override;
    void showSelectionScreen() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    void arrangeTabOrder();
    void placeControls(QSize growth);
    void connectHandlers();
    void onClick(QAbstractButton* button, void (SelectionScreen::*handler)());

    void layOutForDocument();
    void layOutForSet();
    void addLocalComputer(ErrorTrap& trap);
    void addForestRootDomain(ErrorTrap& trap);

    void addComputer();  // trap QMK22
    void addDomain();    // trap QMK23
    void includeSubNodes() { tree_.IncludeSubNodes(); }
    void clearAll() { tree_.ClearAll(); }
    void back();
    void exit();

    void nodeAdded(int index, int parent, const std::string& text) override;
    void markChanged(int index, bool checked) override;
    void countsChanged(Int32 users, Int16 checkedNodes) override;

    ScreenServices& services_;
    FirstScreen& firstScreen_;
    ScreenTrapServices trapServices_;
    LogonHours logonHours_;
    ContainerTree tree_;
    std::unique_ptr<QtProgressBar> progressBar_;
    std::string appTitle_;
    Int16 biasHours_;
    std::unique_ptr<QueryConnection> connection_;

    QLabel* lblSelect_;
    TreeView* tvwContainers_;
    CommandButton* cmdClear_;
    QLabel* lblNumber_;
    QLabel* lblCount_;
    CommandButton* cmdExpand_;
    CommandButton* cmdAdd_;
    CommandButton* cmdAddDomain_;
    QProgressBar* pbrUsers_;
    CommandButton* cmdExit_;
    CommandButton* cmdBack_;
    CommandButton* cmdOK_;
};

}  // namespace qm
