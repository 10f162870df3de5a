#include "shell/main_screen.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "platform/core/app_identity.h"
#include "shell/about_screen.h"

namespace qm {

namespace {

constexpr int kWidthTwips = 5820;
constexpr int kHeightTwips = 5625;

QGroupBox* makeFrame(const char* name, const char* caption, const char* toolTip, QRect geometry,
                     QWidget* parent) {
    auto* frame = new QGroupBox(QString::fromUtf8(caption), parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setToolTip(QString::fromUtf8(toolTip));
    frame->setGeometry(geometry);
    return frame;
}

// The option buttons of one frame form one group of mutually exclusive choices.
QRadioButton* makeOption(const char* name, const char* caption, QRect geometry, QGroupBox* frame) {
    auto* option = new QRadioButton(QString::fromUtf8(caption), frame);
    option->setObjectName(QString::fromLatin1(name));
    option->setGeometry(geometry);
    return option;
}

QLabel* makeLabel(const char* name, const char* caption, QRect geometry, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

frmMain::frmMain(ScreenServices& services)
    : services_(services), trapServices_(services.dialogs, services.programEnd) {
    setObjectName(QStringLiteral("frmMain"));
    setUpScreenWindow(*this, kWidthTwips, kHeightTwips);
    createControls();
    arrangeTabOrder();
    connectHandlers();
    Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::createControls() {
    frmOptions = makeFrame("frmOptions", "Options", "Select one option",
                           rectFromTwips(1200, 200, 2900, 1575), this);
    optDocument = makeOption("optDocument", "Document Logon Hours",
                             rectFromTwips(240, 360, 2400, 375), frmOptions);
    optSet =
        makeOption("optSet", "Set Logon Hours", rectFromTwips(240, 960, 2400, 375), frmOptions);
    frmFormat = makeFrame("frmFormat", "File Format", "Select one file type",
                          rectFromTwips(1200, 2000, 2900, 1695), this);
    optXL = makeOption("optXL", "Excel Spreadsheet", rectFromTwips(240, 360, 2400, 375), frmFormat);
    optCSV = makeOption("optCSV", "CSV File (Comma Delimited)", rectFromTwips(240, 960, 2400, 375),
                        frmFormat);
    cmdAbout = makeCommandButton("cmdAbout", "&About", "About Quillmark, View Log",
                                 rectFromTwips(4400, 1440, 1215, 495), this);
    lblPrompt =
        makeLabel("lblPrompt", "Enter file name", rectFromTwips(480, 3840, 2055, 255), this);
    txtFile = new QLineEdit(this);
    txtFile->setObjectName(QStringLiteral("txtFile"));
    txtFile->setToolTip(QStringLiteral("Spreadsheet or CSV file"));
    txtFile->setGeometry(rectFromTwips(480, 4200, 3615, 495));
    lblPrompt->setBuddy(txtFile);
    cmdBrowse = makeCommandButton("cmdBrowse", "&Browse...", "Browse for file or folder",
                                  rectFromTwips(4200, 4200, 1215, 495), this);
    cmdExit = makeCommandButton("cmdExit", "E&xit", "Quit the program",
                                rectFromTwips(360, 4920, 1215, 495), this);
    lblNotice = makeLabel("lblNotice", "", rectFromTwips(2040, 4920, 1335, 375), this);
    cmdNext = makeCommandButton("cmdNext", "&Next", "Continue",
                                rectFromTwips(3800, 4920, 1215, 495), this);
}

void frmMain::arrangeTabOrder() {
    QWidget* const order[] = {optDocument, optSet,  optXL,   optCSV,  txtFile,
                              cmdBrowse,   cmdNext, cmdExit, cmdAbout};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

void frmMain::onClick(QAbstractButton* button, void (frmMain::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { runEventHandler(services_, [&] { (this->*handler)(); }); });
}

void frmMain::connectHandlers() {
    onClick(cmdNext, &frmMain::cmdNext_Click);
    onClick(cmdBrowse, &frmMain::cmdBrowse_Click);
    onClick(cmdAbout, &frmMain::cmdAbout_Click);
    onClick(cmdExit, &frmMain::cmdExit_Click);
}

void frmMain::closeEvent(QCloseEvent* event) {
    // The window's close button leaves the program as Exit does.
    event->ignore();
    runEventHandler(services_, [this] { cmdExit_Click(); });
}

void frmMain::Form_Load() {
    AppTitle_ = kAppTitle;
    optXL->setChecked(true);
    optDocument->setChecked(true);
    lblNotice->setText(QString());
    optDocument->setFocus();
}

void frmMain::cmdNext_Click() {
    lblNotice->setText(QStringLiteral("Please standby..."));
    repaint();
    if (frmSelect_ == nullptr) {
        frmSelect_ = std::make_unique<SelectionScreen>(services_, *this);
        frmSelect_->startUp();
    }
    showScreen(*frmSelect_);
    hide();
}

void frmMain::cmdAbout_Click() {
    if (frmAbout_ == nullptr) {
        frmAbout_ = std::make_unique<frmAbout>(services_, *this);
        frmAbout_->Form_Load();
    }
    showScreen(*frmAbout_);
    hide();
}

void frmMain::cmdExit_Click() {
    services_.programEnd.end(kExitNormally);
}

bool frmMain::optDocumentValue() {
    return optDocument->isChecked();
}

bool frmMain::optXLValue() {
    return optXL->isChecked();
}

std::string frmMain::txtFileText() {
    return txtFile->text().toStdString();
}

void frmMain::showFirstScreen() {
    showScreen(*this);
}

void frmMain::clearNotice() {
    lblNotice->setText(QString());
}

}  // namespace qm
