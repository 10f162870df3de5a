#pragma once

#include <QWidget>

#include "platform/qt/qt_controls.h"
#include "platform/qt/screen_services.h"

class QLabel;

namespace qm {

// The About screen: the program's identity, the way back to the first screen and the log viewer.
// Its labels are filled once, when it is first shown.
class frmAbout : public QWidget {
public:
    frmAbout(ScreenServices& services, QWidget& firstScreen);

    void Form_Load();
    void cmdReturn_Click();
    void cmdLog_Click();

    // The log file of the Set task: the program's folder followed by "/Quillmark.log".
    std::string logFileName();

    QLabel* lblApp;
    QLabel* lblPath;
    QLabel* lblVersion;
    QLabel* lblCopyright;
    QLabel* lblOther;
    QLabel* lblContact;
    QLabel* lblWeb;
    CommandButton* cmdReturn;
    CommandButton* cmdLog;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();

    ScreenServices& services_;
    QWidget& firstScreen_;
};

}  // namespace qm
