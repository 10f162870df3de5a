#pragma once

#include <QWidget>
#include <string>

#include "platform/qt/qt_controls.h"
#include "platform/qt/screen_services.h"

class QLabel;

namespace qm {

// The About screen: the program's identity, the way back to the first screen and the log viewer.
// Its labels are filled once, when it is first shown. The controls carry their names as object
// names (lblApp ... cmdReturn, cmdLog).
class AboutScreen : public QWidget {
public:
    AboutScreen(ScreenServices& services, QWidget& firstScreen);

    // The log file of the Set task: the program's folder followed by "/Quillmark.log".
    std::string logFileName();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void fillLabels();
    void returnToFirstScreen();
    void viewLog();

    ScreenServices& services_;
    QWidget& firstScreen_;

    QLabel* lblApp_;
    QLabel* lblPath_;
    QLabel* lblVersion_;
    QLabel* lblCopyright_;
    QLabel* lblOther_;
    QLabel* lblContact_;
    QLabel* lblWeb_;
    CommandButton* cmdReturn_;
    CommandButton* cmdLog_;
};

}  // namespace qm
