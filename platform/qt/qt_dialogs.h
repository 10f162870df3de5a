#pragma once

#include <QString>

#include "platform/dialogs.h"

class QWidget;

namespace qm {

// The dialogs on Qt: QMessageBox, QInputDialog and QFileDialog, each modal over the active screen.
class QtDialogs final : public Dialogs {
public:
    Answer askWithDetails(const std::string& title, const std::string& text,
                          const std::string& note, const std::string& details) override;
    Answer messageBox(const std::string& title, const std::string& text,
                      MessageStyle style) override;
    std::string inputBox(const std::string& title, const std::string& prompt,
                         bool masked = false) override;
    std::string browseForFolder(const std::string& title,
                                const std::string& initialFolder) override;
    std::optional<std::string> openFile(const std::string& title, const std::string& initialDir,
                                        const std::string& fileName,
                                        const std::string& filter) override;
};

// "Description|*.a;*.b" (pairs separated by "|") in Qt's form "Description (*.a *.b)", one
// filter a line. The description stays whole, "(*.a;*.b)" and all: with HideNameFilterDetails Qt
// shows it as it is and reads the patterns from the last parentheses.
QString qtNameFilters(const std::string& filter);

// Texts of the program join their lines with CR LF; Qt shows a line break for LF alone.
QString displayText(const std::string& text);

}  // namespace qm
