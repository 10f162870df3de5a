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

frmAbout::frmAbout(ScreenServices& services, QWidget& firstScreen)
    : services_(services), firstScreen_(firstScreen) {
    setObjectName(QStringLiteral("frmAbout"));
    setUpScreenWindow(*this, kWidthTwips, kHeightTwips);
    createControls();
    QWidget::setTabOrder(cmdReturn, cmdLog);
    connect(cmdReturn, &QAbstractButton::clicked, this,
            [this] { runEventHandler(services_, [this] { cmdReturn_Click(); }); });
    connect(cmdLog, &QAbstractButton::clicked, this,
            [this] { runEventHandler(services_, [this] { cmdLog_Click(); }); });
}

void frmAbout::createControls() {
    lblApp = makeLabel("lblApp", 200, this);
    lblPath = makeLabel("lblPath", 700, this);
    lblVersion = makeLabel("lblVersion", 1200, this);
    lblCopyright = makeLabel("lblCopyright", 1700, this);
    lblOther = makeLabel("lblOther", 2200, this);
    lblContact = makeLabel("lblContact", 2700, this);
    lblWeb = makeLabel("lblWeb", 3200, this);
    cmdReturn = makeCommandButton("cmdReturn", "&OK", "Go back to main screen",
                                  rectFromTwips(500, 4100, 1215, 495), this);
    cmdLog =
        makeCommandButton("cmdLog", "&View Log", "View the log created when Logon Hours are set",
                          rectFromTwips(2800, 4100, 1215, 495), this);
}

void frmAbout::closeEvent(QCloseEvent* event) {
    // Closing the window goes back to the first screen, as OK does: the screen is never unloaded.
    event->ignore();
    runEventHandler(services_, [this] { cmdReturn_Click(); });
}

void frmAbout::Form_Load() {
    lblApp->setText(text(std::string("Application: ") + kAppTitle));
    lblPath->setText(text("Path: " + services_.system.ApplicationPath()));
    lblVersion->setText(text("Version: " + std::to_string(kVersionMajor) + "." +
                             std::to_string(kVersionMinor) + "." +
                             std::to_string(kVersionRevision)));
    lblCopyright->setText(text(kCopyright));
    lblOther->setText(text(kComments));
    lblContact->setText(text(std::string("Email Contact: ") + kContactEmail));
    lblWeb->setText(text(std::string("Web site: ") + kWebSite));
    cmdReturn->setFocus();
}

void frmAbout::cmdReturn_Click() {
    showScreen(firstScreen_);
    hide();
}

std::string frmAbout::logFileName() {
    return services_.system.ApplicationPath() + "/" + kLogFileName;
}

void frmAbout::cmdLog_Click() {
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
