#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "platform/qt/qt_controls.h"
#include "platform/qt/screen_services.h"
#include "selection/selection_screen.h"
#include "shell/folder_browser.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace qm {

class AboutScreen;

// The first screen: the task, the file format and the file name, and the way on to the
// selection screen. It only holds the choices; the other screens read its controls. The controls
// carry their names as object names (optDocument, txtFile, cmdNext ...).
class MainScreen : public QWidget, public FirstScreen {
public:
    explicit MainScreen(ScreenServices& services);
    ~MainScreen() override;

    // Next: shows the selection screen, whose start-up runs the first time (and with it the
    // whole Set run when Set is chosen).
    void next();

    // What the selection screen reads and does.
    bool optDocumentValue() override;
    bool optXLValue() override;
    std::string txtFileText() override;
    void showFirstScreen() override;
    void clearNotice() override;

    // The other screens, created the first time they are shown; null before.
    SelectionScreen* selectionScreen() const { return selectionScreen_.get(); }
    AboutScreen* aboutScreen() const { return aboutScreen_.get(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void arrangeTabOrder();
    void connectHandlers();
    void onClick(QAbstractButton* button, void (MainScreen::*handler)());
    void load();
    void browse();
    void showAbout();
    void exitProgram();
    void chooseInputFile(ErrorTrap& trap);
    std::string browseForFolder(const std::string& initialFolder, const std::string& title);

    ScreenServices& services_;
    ScreenTrapServices trapServices_;
    std::unique_ptr<SelectionScreen> selectionScreen_;
    std::unique_ptr<AboutScreen> aboutScreen_;

    QGroupBox* frmOptions_;
    QRadioButton* optDocument_;
    QRadioButton* optSet_;
    QGroupBox* frmFormat_;
    QRadioButton* optXL_;
    QRadioButton* optCSV_;
    CommandButton* cmdAbout_;
    QLabel* lblPrompt_;
    QLineEdit* txtFile_;
    CommandButton* cmdBrowse_;
    CommandButton* cmdExit_;
    QLabel* lblNotice_;
    CommandButton* cmdNext_;
    CommonDialog dlgFiles_;
};

}  // namespace qm
