#pragma once

#include <optional>
#include <string>

namespace qm {

enum class MessageStyle { Critical, Information, Question };
enum class Answer { Ok, Yes, No };

// Message boxes, input boxes and the file and folder dialogs. The screens use the Qt ones; tests
// give a scripted fake that answers them.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Critical and Information show OK; Question shows Yes and No.
    virtual Answer messageBox(const std::string& title, const std::string& text,
                              MessageStyle style) = 0;
    // A question (Yes and No) with more to it: a note shown under the text when there is one, and
    // details the person can open.
    virtual Answer askWithDetails(const std::string& title, const std::string& text,
                                  const std::string& note, const std::string& details) = 0;
    // The answer, or "" when cancelled. A masked box hides what is typed (passwords).
    virtual std::string inputBox(const std::string& title, const std::string& prompt,
                                 bool masked = false) = 0;
    // The chosen folder's path, or "" when cancelled.
    virtual std::string browseForFolder(const std::string& title,
                                        const std::string& initialFolder) = 0;
    // The chosen file's full name, or nothing when cancelled. The filter is
    // "Description (*.a;*.b)|*.a;*.b".
    virtual std::optional<std::string> openFile(const std::string& title,
                                                const std::string& initialDir,
                                                const std::string& fileName,
                                                const std::string& filter) = 0;
};

}  // namespace qm
