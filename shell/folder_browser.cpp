#include "shell/folder_browser.h"

#include <QLineEdit>
#include <QRadioButton>

#include "platform/core/text.h"
#include "shell/main_screen.h"

namespace qm {

void CommonDialog::ShowOpen(Dialogs& dialogs) {
    if (auto chosen = dialogs.openFile(DialogTitle, InitDir, FileName, Filter)) {
        FileName = *chosen;
    }
}

void MainScreen::browse() {
    ErrorTrap trap("QMK15", trapServices_);
    trap.run([&] {
        trap.step("1");
        if (optDocument_->isChecked()) {
            trap.step("2");
            const std::string folder =
                browseForFolder(services_.system.ApplicationPath(), kFolderBrowserTitle);
            if (!folder.empty()) {
                txtFile_->setText(QString::fromStdString(folder));
            }
        } else {
            chooseInputFile(trap);
        }
    });
}

// The Set task's input: the Open File dialog titled and filtered for the chosen format.
void MainScreen::chooseInputFile(ErrorTrap& trap) {
    trap.step("3");
    const std::string current = txtFile_->text().toStdString();
    if (!current.empty()) {
        dlgFiles_.InitDir = current;
        dlgFiles_.FileName = current;
    }
    std::string filter;
    if (optXL_->isChecked()) {
        trap.step("4");
        dlgFiles_.DialogTitle = kExcelInputTitle;
        filter = kExcelInputFilter;
    } else {
        trap.step("5");
        dlgFiles_.DialogTitle = kCsvInputTitle;
        filter = kCsvInputFilter;
    }
    dlgFiles_.Filter = filter;

    trap.step("6");
    dlgFiles_.ShowOpen(services_.dialogs);

    trap.step("7");
    const std::string chosen = trimSpaces(dlgFiles_.FileName);
    if (!chosen.empty()) {
        txtFile_->setText(QString::fromStdString(chosen));
    }
}

std::string MainScreen::browseForFolder(const std::string& initialFolder,
                                        const std::string& title) {
    ErrorTrap trap("QMK10", trapServices_);
    return trap.run([&]() -> std::string {
        // The request (owner, title) and the initial folder need no preparation on this
        // platform, and no item lists exist to release afterwards.
        trap.step("1");
        trap.step("2");
        trap.step("3");
        const std::string chosen = services_.dialogs.browseForFolder(title, initialFolder);

        trap.step("4");
        if (chosen.empty()) {
            return {};
        }
        trap.step("5");
        trap.step("6");
        return trimSpaces(chosen.substr(0, chosen.find('\0')));
    });
}

}  // namespace qm
