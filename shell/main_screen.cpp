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

MainScreen::MainScreen(ScreenServices& services)
    : services_(services), trapServices_(services.dialogs, services.programEnd) {
    setObjectName(QStringLiteral("frmMain"));
    setUpScreenWindow(*this, kWidthTwips, kHeightTwips);
    createControls();
    arrangeTabOrder();
    connectHandlers();
    load();
}

MainScreen::~MainScreen() = default;

void MainScreen::createControls() {
    frmOptions_ = makeFrame("frmOptions", "Options", "Select one option",
                            rectFromTwips(1200, 200, 2900, 1575), this);
    optDocument_ = makeOption("optDocument", "Document Logon Hours",
                              rectFromTwips(240, 360, 2400, 375), frmOptions_);
    optSet_ =
        makeOption("optSet", "Set Logon Hours", rectFromTwips(240, 960, 2400, 375), frmOptions_);
    frmFormat_ = makeFrame("frmFormat", "File Format", "Select one file type",
                           rectFromTwips(1200, 2000, 2900, 1695), this);
    optXL_ =
        makeOption("optXL", "Excel Spreadsheet", rectFromTwips(240, 360, 2400, 375), frmFormat_);
    optCSV_ = makeOption("optCSV", "CSV File (Comma Delimited)", rectFromTwips(240, 960, 2400, 375),
                         frmFormat_);
    cmdAbout_ = makeCommandButton("cmdAbout", "&About", "About Quillmark, View Log",
                                  rectFromTwips(4400, 1440, 1215, 495), this);
    lblPrompt_ =
        makeLabel("lblPrompt", "Enter file name", rectFromTwips(480, 3840, 2055, 255), this);
    txtFile_ = new QLineEdit(this);
    txtFile_->setObjectName(QStringLiteral("txtFile"));
    txtFile_->setToolTip(QStringLiteral("Spreadsheet or CSV file"));
    txtFile_->setGeometry(rectFromTwips(480, 4200, 3615, 495));
    lblPrompt_->setBuddy(txtFile_);
    cmdBrowse_ = makeCommandButton("cmdBrowse", "&Browse...", "Browse for file or folder",
                                   rectFromTwips(4200, 4200, 1215, 495), this);
    cmdExit_ = makeCommandButton("cmdExit", "E&xit", "Quit the program",
                                 rectFromTwips(360, 4920, 1215, 495), this);
    lblNotice_ = makeLabel("lblNotice", "", rectFromTwips(2040, 4920, 1335, 375), this);
    cmdNext_ = makeCommandButton("cmdNext", "&Next", "Continue",
                                 rectFromTwips(3800, 4920, 1215, 495), this);
}

void MainScreen::arrangeTabOrder() {
    // The frames come first but take no focus, so the caret starts in the file name.
    QWidget* const order[] = {txtFile_,     cmdBrowse_, cmdNext_, cmdExit_, cmdAbout_,
                              optDocument_, optSet_,    optXL_,   optCSV_};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

void MainScreen::onClick(QAbstractButton* button, void (MainScreen::*handler)()) {
    connect(button, &QAbstractButton::clicked, this,
            [this, handler] { runEventHandler(services_, [&] { (this->*handler)(); }); });
}

void MainScreen::connectHandlers() {
    onClick(cmdNext_, &MainScreen::next);
    onClick(cmdBrowse_, &MainScreen::browse);
    onClick(cmdAbout_, &MainScreen::showAbout);
    onClick(cmdExit_, &MainScreen::exitProgram);
}

void MainScreen::closeEvent(QCloseEvent* event) {
    // The window's close button leaves the program as Exit does.
    event->ignore();
    runEventHandler(services_, [this] { exitProgram(); });
}

void MainScreen::load() {
    optXL_->setChecked(true);
    optDocument_->setChecked(true);
    lblNotice_->setText(QString());
    txtFile_->setFocus();
}

void MainScreen::next() {
    lblNotice_->setText(QStringLiteral("Please standby..."));
    repaint();
    if (selectionScreen_ == nullptr) {
        selectionScreen_ = std::make_unique<SelectionScreen>(services_, *this);
        selectionScreen_->startUp();
    }
    showScreen(*selectionScreen_);
    hide();
}

void MainScreen::showAbout() {
    if (aboutScreen_ == nullptr) {
        aboutScreen_ = std::make_unique<AboutScreen>(services_, *this);
    }
    showScreen(*aboutScreen_);
    hide();
}

void MainScreen::exitProgram() {
    services_.programEnd.end(kExitNormally);
}

bool MainScreen::optDocumentValue() {
    return optDocument_->isChecked();
}

bool MainScreen::optXLValue() {
    return optXL_->isChecked();
}

std::string MainScreen::txtFileText() {
    return txtFile_->text().toStdString();
}

void MainScreen::showFirstScreen() {
    showScreen(*this);
}

void MainScreen::clearNotice() {
    lblNotice_->setText(QString());
}

}  // namespace qm
