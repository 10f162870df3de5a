#include "selection/selection_screen.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QResizeEvent>

#include "logonhours/bias_hours.h"
#include "platform/core/app_identity.h"
#include "selection/container_tree.h"

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

frmSelect::frmSelect(ScreenServices& services, FirstScreen& firstScreen)
    : services_(services),
      firstScreen_(firstScreen),
      trapServices_(services.dialogs, services.programEnd,
                    [this] { return DirectoryConnection_.get(); }),
      logonHours_(trapServices_) {
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
    progressBar_ = std::make_unique<QtProgressBar>(*pbrUsers);
}

frmSelect::~frmSelect() = default;

void frmSelect::createControls() {
    lblSelect = makeLabel("lblSelect",
                          "Select Computers, Domains, Containers, and/or Organizational Units "
                          "whose users will be documented",
                          rectFromTwips(1320, 120, 7300, 375), this, true);
    tvwContainers = new TreeView(this);
    tvwContainers->setObjectName(QStringLiteral("tvwContainers"));
    tvwContainers->setToolTip(QStringLiteral("One node for each computer, domain, container/OU"));
    tvwContainers->setGeometry(rectFromTwips(1320, 600, 6855, 5055));
    cmdClear = makeCommandButton("cmdClear", "Clear All &Nodes", "Remove check from all nodes",
                                 rectFromTwips(1200, 5800, 1215, 495), this);
    lblNumber = makeLabel("lblNumber", "Number of users in nodes selected",
                          rectFromTwips(3200, 5900, 2500, 300), this);
    lblCount = makeLabel("lblCount", "", rectFromTwips(5900, 5900, 800, 300), this);
    cmdExpand = makeCommandButton("cmdExpand", "Include &Sub Nodes of Checked Nodes",
                                  "Check all nodes that are children of nodes already checked",
                                  rectFromTwips(7000, 5800, 1600, 495), this);
    cmdAdd = makeCommandButton("cmdAdd", "Add &Computer", "Add a node for a remote computer",
                               rectFromTwips(2040, 6400, 1215, 495), this);
    cmdAddDomain =
        makeCommandButton("cmdAddDomain", "&Add Domain", "Add a node for a domain in another tree",
                          rectFromTwips(5520, 6400, 1215, 495), this);
    pbrUsers = new QProgressBar(this);
    pbrUsers->setObjectName(QStringLiteral("pbrUsers"));
    pbrUsers->setGeometry(rectFromTwips(1560, 7050, 6075, 495));
    pbrUsers->setRange(0, 100);
    pbrUsers->setValue(0);
    pbrUsers->setTextVisible(false);
    cmdExit = makeCommandButton("cmdExit", "E&xit", "Quit the program",
                                rectFromTwips(1440, 7700, 1215, 495), this);
    cmdBack = makeCommandButton("cmdBack", "&Back", "Go back to the previous screen",
                                rectFromTwips(5520, 7700, 1215, 495), this);
    cmdOK = makeCommandButton("cmdOK", "&Document Users in Checked Nodes",
                              "Document Logon Hours of users in selected nodes",
                              rectFromTwips(7200, 7700, 1600, 495), this);
}

void frmSelect::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeControls(event->size() - minimumSize());
}

// The tree takes the extra room; the caption above it and the progress bar widen with it; the
// controls below keep their distances from the bottom edge and from the nearer side edge.
void frmSelect::placeControls(QSize growth) {
    const int middle = minimumWidth() / 2;
    for (QWidget* control : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QVariant firstPlace = control->property(kFirstPlace);
        if (!firstPlace.isValid()) {
            continue;  // a dialog of this screen, not one of its controls
        }
        QRect place = firstPlace.toRect();
        if (control == tvwContainers) {
            place.adjust(0, 0, growth.width(), growth.height());
        } else if (control == lblSelect || control == pbrUsers) {
            place.adjust(0, 0, growth.width(), 0);
        } else if (place.center().x() > middle) {
            place.translate(growth.width(), 0);
        }
        if (control != lblSelect && control != tvwContainers) {
            place.translate(0, growth.height());
        }
        control->setGeometry(place);
    }
}

void frmSelect::arrangeTabOrder() {
    QWidget* const order[] = {cmdClear, cmdExpand, cmdAdd,  cmdAddDomain,
                              cmdOK,    cmdExit,   cmdBack, tvwContainers};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
    pbrUsers->setFocusPolicy(Qt::NoFocus);
}

void frmSelect::onClick(QAbstractButton* button, void (frmSelect::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { runEventHandler(services_, [&] { (this->*handler)(); }); });
}

void frmSelect::connectHandlers() {
    onClick(cmdClear, &frmSelect::cmdClear_Click);
    onClick(cmdExpand, &frmSelect::cmdExpand_Click);
    onClick(cmdAdd, &frmSelect::cmdAdd_Click);
    onClick(cmdAddDomain, &frmSelect::cmdAddDomain_Click);
    onClick(cmdExit, &frmSelect::cmdExit_Click);
    onClick(cmdBack, &frmSelect::cmdBack_Click);
    onClick(cmdOK, &frmSelect::cmdOK_Click);
    tvwContainers->onNodeCheck(
        [this](int node) { runEventHandler(services_, [&] { tvwContainers_NodeCheck(node); }); });
}

void frmSelect::closeEvent(QCloseEvent* event) {
    // The window's close button leaves the program as Exit does.
    event->ignore();
    runEventHandler(services_, [this] { cmdExit_Click(); });
}

void frmSelect::Form_Load() {
    ErrorTrap trap("QMK1", trapServices_);
    trap.run([&] {
        trap.step("1");
        AppTitle_ = kAppTitle;

        trap.step("2");
        const Variant bias = services_.system.TimeZoneBias();

        trap.step("3");
        BiasHours_ = BiasHoursFrom(bias);
        logonHours_.setBiasHours(BiasHours_);

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

void frmSelect::addLocalComputer(ErrorTrap& trap) {
    const std::string computerName = services_.system.ComputerName();

    trap.step("6");
    auto computer = services_.directory.bind("WinNT://" + computerName + ",computer");

    trap.step("7");
    LastNode_ = tvwContainers->Add("", computer->ADsPath(), computer->Name());

    trap.step("8");
    tvwContainers->setTag(LastNode_, kLocalComputerTag);
}

// Only on a domain member: the query connection and the forest root domain with its subtree.
void frmSelect::addForestRootDomain(ErrorTrap& trap) {
    trap.step("9");
    std::unique_ptr<DirectoryObject> rootDse;
    try {
        rootDse = services_.directory.bind("LDAP://RootDSE");
    } catch (const std::exception&) {
        return;  // not in a domain, or no domain controller answers
    }

    trap.step("10");
    const std::string rootDomain = rootDse->Get("rootDomainNamingContext").toText();

    trap.step("11");
    DirectoryConnection_ = services_.directory.newConnection();
    DirectoryConnection_->Open("Active Directory Provider", "", "");

    trap.step("12");
    auto domain = services_.directory.bind("LDAP://" + rootDomain);

    trap.step("13");
    AddDomainNode(*domain, "");

    trap.step("14");
}

void frmSelect::layOutForDocument() {
    using Controls = std::initializer_list<QWidget*>;
    for (QWidget* control :
         Controls{tvwContainers, cmdExpand, cmdClear, cmdAdd, cmdOK, cmdAddDomain}) {
        control->setVisible(true);
    }
    enableSelectionButtons(false);
    lblCount->setVisible(true);
    lblNumber->setVisible(true);
    CheckedNodeCount_ = 0;
    UserCount_ = 0;
    showUserCount();
    cmdAdd->setFocus();
}

void frmSelect::layOutForSet() {
    using Controls = std::initializer_list<QWidget*>;
    for (QWidget* control : Controls{tvwContainers, cmdExpand, cmdClear, cmdAdd, cmdAddDomain,
                                     cmdOK, lblNumber, lblCount}) {
        control->setVisible(false);
    }
}

void frmSelect::showUserCount() {
    lblCount->setText(QString::fromStdString(services_.system.formatGrouped(UserCount_.value())));
}

void frmSelect::enableSelectionButtons(bool enabled) {
    cmdExpand->setEnabled(enabled);
    cmdClear->setEnabled(enabled);
    cmdOK->setEnabled(enabled);
}

void frmSelect::cmdOK_Click() {
    DocumentServices runServices{services_.directory,    DirectoryConnection_.get(),
                                 services_.spreadsheets, services_.dialogs,
                                 trapServices_,          logonHours_,
                                 services_.system};
    qm::cmdOK_Click(*this, runServices);
}

std::string frmSelect::countCaption() {
    return lblCount->text().toStdString();
}

Int16 frmSelect::nodeCount() {
    return Int16(tvwContainers->Count());
}

TreeNodeState frmSelect::node(Int16 index) {
    const int number = index.value();
    return TreeNodeState{tvwContainers->Checked(number), tvwContainers->Tag(number),
                         tvwContainers->Text(number), tvwContainers->Key(number)};
}

ProgressBar& frmSelect::progressBar() {
    return *progressBar_;
}

bool frmSelect::workbookChosen() {
    return firstScreen_.optXLValue();
}

std::string frmSelect::fileName() {
    return firstScreen_.txtFileText();
}

void frmSelect::showSelectionScreen() {
    showScreen(*this);
    PaintPump().keepPainted();
}

}  // namespace qm
