#include "shell/about_screen.h"

#include <QCloseEvent>
#include <QLabel>

#include "platform/core/app_identity.h"

namespace qm {

namespace {

constexpr int kWidthTwips = 4560;
constexpr int kHeightTwips = 4905;

QLabel* makeLabel(const char* name, int topTwips, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(rectFromTwips(800, topTwips, 3000, 495));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

}  // namespace

AboutScreen::AboutScreen(ScreenServices& services, QWidget& firstScreen)
    : services_(services), firstScreen_(firstScreen) {
    setObjectName(QStringLiteral("frmAbout"));
    setUpScreenWindow(*this, kWidthTwips, kHeightTwips);
    createControls();
    QWidget::setTabOrder(cmdReturn_, cmdLog_);
    connect(cmdReturn_, &QAbstractButton::clicked, this,
            [this] { runEventHandler(services_, [this] { returnToFirstScreen(); }); });
    connect(cmdLog_, &QAbstractButton::clicked, this,
            [this] { runEventHandler(services_, [this] { viewLog(); }); });
    fillLabels();
}

void AboutScreen::createControls() {
    lblApp_ = makeLabel("lblApp", 200, this);
    lblPath_ = makeLabel("lblPath", 700, this);
    lblVersion_ = makeLabel("lblVersion", 1200, this);
    lblCopyright_ = makeLabel("lblCopyright", 1700, this);
    lblOther_ = makeLabel("lblOther", 2200, this);
    lblContact_ = makeLabel("lblContact", 2700, this);
    lblWeb_ = makeLabel("lblWeb", 3200, this);
    cmdReturn_ = makeCommandButton("cmdReturn", "&OK", "Go back to main screen",
                                   rectFromTwips(500, 4100, 1215, 495), this);
    cmdLog_ =
        makeCommandButton("cmdLog", "&View Log", "View the log created when Logon Hours are set",
                          rectFromTwips(2800, 4100, 1215, 495), this);
}

void AboutScreen::closeEvent(QCloseEvent* event) {
    // Closing the window goes back to the first screen, as OK does: the screen is never unloaded.
    event->ignore();
    runEventHandler(services_, [this] { returnToFirstScreen(); });
}

void AboutScreen::fillLabels() {
    lblApp_->setText(text(std::string("Application: ") + kAppTitle));
    lblPath_->setText(text("Path: " + services_.system.ApplicationPath()));
    lblVersion_->setText(text("Version: " + std::to_string(kVersionMajor) + "." +
                              std::to_string(kVersionMinor) + "." +
                              std::to_string(kVersionRevision)));
    lblCopyright_->setText(text(kCopyright));
    lblOther_->setText(text(kComments));
    lblContact_->setText(text(std::string("Email Contact: ") + kContactEmail));
    lblWeb_->setText(text(std::string("Web site: ") + kWebSite));
    cmdReturn_->setFocus();
}

void AboutScreen::returnToFirstScreen() {
    showScreen(firstScreen_);
    hide();
}

std::string AboutScreen::logFileName() {
    return services_.system.ApplicationPath() + "/" + kLogFileName;
}

void AboutScreen::viewLog() {
    const std::string logFile = logFileName();
    if (services_.system.FileExists(logFile)) {
        services_.system.startTextEditor(logFile);
    } else {
        services_.dialogs.messageBox(kAppTitle,
                                     "Log file not found. The file is created\r\n"
                                     "when you set logon hours with Quillmark.",
                                     MessageStyle::Information);
    }
}

}  // namespace qm
