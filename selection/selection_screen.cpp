#include "selection/selection_screen.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>

#include "logonhours/bias_hours.h"
#include "platform/core/app_identity.h"
#include "platform/core/text.h"
#include "selection/tree_view.h"

namespace qm {

namespace {

constexpr int kWidthTwips = 9570;
constexpr int kHeightTwips = 8490;
// Where a control sits at the screen's first size, kept on the control itself.
constexpr const char* kFirstPlace = "qmFirstPlace";

// A label of one line keeps its text on that line; a longer caption wraps within its area.
QLabel* makeLabel(const char* name, const char* caption, QRect geometry, QWidget* parent,
                  bool wrap = false) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setWordWrap(wrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

SelectionScreen::SelectionScreen(ScreenServices& services, FirstScreen& firstScreen)
    : services_(services),
      firstScreen_(firstScreen),
      trapServices_(services.dialogs, services.programEnd, [this] { return connection_.get(); }),
      logonHours_(trapServices_),
      tree_(services.directory, trapServices_, *this) {
    setObjectName(QStringLiteral("frmSelect"));
    setUpScreenWindow(*this, kWidthTwips, kHeightTwips);
    // A directory of thousands of OUs needs a larger tree: the first size is the smallest.
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    createControls();
    for (QWidget* control : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        control->setProperty(kFirstPlace, control->geometry());
    }
    arrangeTabOrder();
    connectHandlers();
    progressBar_ = std::make_unique<QtProgressBar>(*pbrUsers_);
}

SelectionScreen::~SelectionScreen() = default;

void SelectionScreen::createControls() {
    lblSelect_ = makeLabel("lblSelect",
                           "Select Computers, Domains, Containers, and/or Organizational Units "
                           "whose users will be documented",
                           rectFromTwips(1320, 120, 7300, 375), this, true);
    tvwContainers_ = new TreeView(this);
    tvwContainers_->setObjectName(QStringLiteral("tvwContainers"));
    tvwContainers_->setToolTip(QStringLiteral("One node for each computer, domain, container/OU"));
    tvwContainers_->setGeometry(rectFromTwips(1320, 600, 6855, 5055));
    cmdClear_ = makeCommandButton("cmdClear", "Clear All &Nodes", "Remove check from all nodes",
                                  rectFromTwips(1200, 5800, 1215, 495), this);
    lblNumber_ = makeLabel("lblNumber", "Number of users in nodes selected",
                           rectFromTwips(3200, 5900, 2500, 300), this);
    lblCount_ = makeLabel("lblCount", "", rectFromTwips(5900, 5900, 800, 300), this);
    cmdExpand_ = makeCommandButton("cmdExpand", "Include &Sub Nodes of Checked Nodes",
                                   "Check all nodes that are children of nodes already checked",
                                   rectFromTwips(7000, 5800, 1600, 495), this);
    cmdAdd_ = makeCommandButton("cmdAdd", "Add &Computer", "Add a node for a remote computer",
                                rectFromTwips(2040, 6400, 1215, 495), this);
    cmdAddDomain_ =
        makeCommandButton("cmdAddDomain", "&Add Domain", "Add a node for a domain in another tree",
                          rectFromTwips(5520, 6400, 1215, 495), this);
    pbrUsers_ = new QProgressBar(this);
    pbrUsers_->setObjectName(QStringLiteral("pbrUsers"));
    pbrUsers_->setGeometry(rectFromTwips(1560, 7050, 6075, 495));
    pbrUsers_->setRange(0, 100);
    pbrUsers_->setValue(0);
    pbrUsers_->setTextVisible(false);
    cmdExit_ = makeCommandButton("cmdExit", "E&xit", "Quit the program",
                                 rectFromTwips(1440, 7700, 1215, 495), this);
    cmdBack_ = makeCommandButton("cmdBack", "&Back", "Go back to the previous screen",
                                 rectFromTwips(5520, 7700, 1215, 495), this);
    cmdOK_ = makeCommandButton("cmdOK", "&Document Users in Checked Nodes",
                               "Document Logon Hours of users in selected nodes",
                               rectFromTwips(7200, 7700, 1600, 495), this);
}

void SelectionScreen::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeControls(event->size() - minimumSize());
}

// The tree takes the extra room; the caption above it and the progress bar widen with it; the
// controls below keep their distances from the bottom edge and from the nearer side edge.
void SelectionScreen::placeControls(QSize growth) {
    const int middle = minimumWidth() / 2;
    for (QWidget* control : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QVariant firstPlace = control->property(kFirstPlace);
        if (!firstPlace.isValid()) {
            continue;  // a dialog of this screen, not one of its controls
        }
        QRect place = firstPlace.toRect();
        if (control == tvwContainers_) {
            place.adjust(0, 0, growth.width(), growth.height());
        } else if (control == lblSelect_ || control == pbrUsers_) {
            place.adjust(0, 0, growth.width(), 0);
        } else if (place.center().x() > middle) {
            place.translate(growth.width(), 0);
        }
        if (control != lblSelect_ && control != tvwContainers_) {
            place.translate(0, growth.height());
        }
        control->setGeometry(place);
    }
}

void SelectionScreen::arrangeTabOrder() {
    QWidget* const order[] = {cmdClear_, cmdExpand_, cmdAdd_,  cmdAddDomain_,
                              cmdOK_,    cmdExit_,   cmdBack_, tvwContainers_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
    pbrUsers_->setFocusPolicy(Qt::NoFocus);
}

void SelectionScreen::onClick(QAbstractButton* button, void (SelectionScreen::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { runEventHandler(services_, [&] { (this->*handler)(); }); });
}

void SelectionScreen::connectHandlers() {
    onClick(cmdClear_, &SelectionScreen::clearAll);
    onClick(cmdExpand_, &SelectionScreen::includeSubNodes);
    onClick(cmdAdd_, &SelectionScreen::addComputer);
    onClick(cmdAddDomain_, &SelectionScreen::addDomain);
    onClick(cmdExit_, &SelectionScreen::exit);
    onClick(cmdBack_, &SelectionScreen::back);
    onClick(cmdOK_, &SelectionScreen::documentUsers);
    tvwContainers_->onPersonChecked([this](int node, bool checked) {
        runEventHandler(services_, [&] { tree_.checkedByPerson(node, checked); });
    });
}

void SelectionScreen::closeEvent(QCloseEvent* event) {
    // The window's close button leaves the program as Exit does.
    event->ignore();
    runEventHandler(services_, [this] { exit(); });
}

void SelectionScreen::startUp() {
    ErrorTrap trap("QMK1", trapServices_);
    trap.run([&] {
        trap.step("1");
        appTitle_ = kAppTitle;

        trap.step("2");
        const Variant bias = services_.system.TimeZoneBias();

        trap.step("3");
        biasHours_ = BiasHoursFrom(bias);
        logonHours_.setBiasHours(biasHours_);

        trap.step("4");
        if (firstScreen_.optDocumentValue()) {
            trap.step("5");
            layOutForDocument();
            addLocalComputer(trap);
            addForestRootDomain(trap);
        } else {
            trap.step("15");
            layOutForSet();
            SetServices runServices{services_.directory, services_.spreadsheets,
                                    services_.dialogs,   trapServices_,
                                    logonHours_,         services_.system};
            SetLogonHoursFromFile(*this, runServices);
        }
    });
}

void SelectionScreen::addLocalComputer(ErrorTrap& trap) {
    const std::string computerName = services_.system.ComputerName();

    trap.step("6");
    const auto computer = services_.directory.computer(computerName);

    trap.step("7");
    tree_.Add("", computer->name(), computer->name());

    trap.step("8");
    tree_.setTag(tree_.LastNode(), kLocalComputerTag);
}

// Only on a domain member: the query connection and the forest root domain with its subtree.
void SelectionScreen::addForestRootDomain(ErrorTrap& trap) {
    trap.step("9");
    if (!services_.directory.inDomain()) {
        return;  // not in a domain, or no domain controller answers
    }

    trap.step("10");
    const std::string rootDomain = services_.directory.forestRootDomain();

    trap.step("11");
    connection_ = services_.directory.openQueryConnection();
    tree_.setConnection(connection_.get());

    trap.step("12");
    const DirectoryNode domain = services_.directory.domain(rootDomain);

    trap.step("13");
    tree_.AddDomainNode(domain, "");

    trap.step("14");
}

void SelectionScreen::layOutForDocument() {
    using Controls = std::initializer_list<QWidget*>;
    for (QWidget* control :
         Controls{tvwContainers_, cmdExpand_, cmdClear_, cmdAdd_, cmdOK_, cmdAddDomain_}) {
        control->setVisible(true);
    }
    lblCount_->setVisible(true);
    lblNumber_->setVisible(true);
    countsChanged(0, 0);
    cmdAdd_->setFocus();
}

void SelectionScreen::layOutForSet() {
    using Controls = std::initializer_list<QWidget*>;
    for (QWidget* control : Controls{tvwContainers_, cmdExpand_, cmdClear_, cmdAdd_, cmdAddDomain_,
                                     cmdOK_, lblNumber_, lblCount_}) {
        control->setVisible(false);
    }
}

void SelectionScreen::nodeAdded(int index, int parent, const std::string& text) {
    tvwContainers_->showNode(index, parent, text);
}

void SelectionScreen::markChanged(int index, bool checked) {
    tvwContainers_->showMark(index, checked);
}

// The count shows with the locale's digit grouping; the buttons that need a selection follow the
// number of checked nodes.
void SelectionScreen::countsChanged(Int32 users, Int16 checkedNodes) {
    lblCount_->setText(QString::fromStdString(services_.system.formatGrouped(users.value())));
    const bool selected = checkedNodes != 0;
    cmdExpand_->setEnabled(selected);
    cmdClear_->setEnabled(selected);
    cmdOK_->setEnabled(selected);
}

void SelectionScreen::addComputer() {
    ErrorTrap trap("QMK22", trapServices_);
    trap.run([&] {
        trap.step("1");
        const std::string name =
            trimSpaces(services_.dialogs.inputBox(appTitle_, "Enter NetBIOS name of computer"));

        trap.step("2");
        if (name.empty()) {
            return;
        }
        std::unique_ptr<Computer> computer;
        try {
            computer = services_.directory.computer(name);
        } catch (const std::exception&) {
            services_.dialogs.messageBox(appTitle_, "Computer " + name + " not found",
                                         MessageStyle::Critical);
            return;
        }

        trap.step("3");
        tree_.Add("", computer->name(), computer->name());

        trap.step("4");
        tree_.setTag(tree_.LastNode(), kLocalComputerTag);
    });
}

void SelectionScreen::addDomain() {
    ErrorTrap trap("QMK23", trapServices_);
    trap.run([&] {
        trap.step("1");
        const std::string name =
            trimSpaces(services_.dialogs.inputBox(appTitle_, "Enter distinguished name of domain"));

        trap.step("2");
        if (name.empty()) {
            return;
        }
        std::optional<DirectoryNode> domain;
        try {
            domain = services_.directory.domain(domainNameOf(name));
        } catch (const std::exception&) {
            services_.dialogs.messageBox(appTitle_, "Domain " + name + " not found",
                                         MessageStyle::Critical);
            return;
        }

        trap.step("3");
        tree_.AddDomainNode(*domain, "");
    });
}

void SelectionScreen::back() {
    firstScreen_.showFirstScreen();
    firstScreen_.clearNotice();
    hide();
}

void SelectionScreen::exit() {
    ignoringErrors([this] { closeIfOpen(connection_.get()); });
    services_.programEnd.end(kExitNormally);
}

void SelectionScreen::documentUsers() {
    DocumentServices runServices{services_.directory, connection_.get(), services_.spreadsheets,
                                 services_.dialogs,   trapServices_,     logonHours_,
                                 services_.system};
    runDocument(*this, runServices);
}

std::string SelectionScreen::countCaption() {
    return lblCount_->text().toStdString();
}

Int16 SelectionScreen::nodeCount() {
    return Int16(tree_.Count());
}

TreeNodeState SelectionScreen::node(Int16 index) {
    const int number = index.value();
    return TreeNodeState{tree_.Checked(number), tree_.Tag(number), tree_.Text(number),
                         tree_.Key(number)};
}

ProgressBar& SelectionScreen::progressBar() {
    return *progressBar_;
}

bool SelectionScreen::workbookChosen() {
    return firstScreen_.optXLValue();
}

std::string SelectionScreen::fileName() {
    return firstScreen_.txtFileText();
}

void SelectionScreen::showSelectionScreen() {
    showScreen(*this);
    PaintPump().keepPainted();
}

}  // namespace qm
