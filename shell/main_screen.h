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

class frmAbout;

// The first screen: the task, the file format and the file name, and the way on to the
// selection screen. It only holds the choices; the other screens read its controls.
class frmMain : public QWidget, public FirstScreen {
public:
    explicit frmMain(ScreenServices& services);
    ~frmMain() override;

    void Form_Load();
    void cmdNext_Click();
    void cmdBrowse_Click();
    void cmdAbout_Click();
    void cmdExit_Click();
    std::string BrowseForFolder(const std::string& initialFolder, const std::string& title);

    // What the selection screen reads and does.
    bool optDocumentValue() override;
    bool optXLValue() override;
    std::string txtFileText() override;
    void showFirstScreen() override;
    void clearNotice() override;

    const std::string& AppTitle() const { return AppTitle_; }
    // The other screens, created the first time they are shown; null before.
    SelectionScreen* selectionScreen() const { return frmSelect_.get(); }
    frmAbout* aboutScreen() const { return frmAbout_.get(); }

    // The controls.
    QGroupBox* frmOptions;
    QRadioButton* optDocument;
    QRadioButton* optSet;
    QGroupBox* frmFormat;
    QRadioButton* optXL;
    QRadioButton* optCSV;
    CommandButton* cmdAbout;
    QLabel* lblPrompt;
    QLineEdit* txtFile;
    CommandButton* cmdBrowse;
    CommandButton* cmdExit;
    QLabel* lblNotice;
    CommandButton* cmdNext;
    CommonDialog dlgFiles;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void arrangeTabOrder();
    void connectHandlers();
    void onClick(QAbstractButton* button, void (frmMain::*handler)());
    void chooseInputFile(ErrorTrap& trap);

    ScreenServices& services_;
    ScreenTrapServices trapServices_;
    std::string AppTitle_;
    std::unique_ptr<SelectionScreen> frmSelect_;
    std::unique_ptr<frmAbout> frmAbout_;
};

}  // namespace qm
