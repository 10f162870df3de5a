#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialogs.h"
#include "platform/run_time_error.h"

namespace qm::testing {

// One box or dialog as the program showed it.
struct ShownDialog {
    enum class Kind { Message, Input, Folder, OpenFile };
    Kind kind = Kind::Message;
    std::string title;
    std::string text;  // the message, or the input box's prompt
    MessageStyle style = MessageStyle::Information;
    bool masked = false;
    std::string initialDir;  // the folder browser's initial folder, the open dialog's InitDir
    std::string fileName;
    std::string filter;
};

// Dialogs answered from queues the test fills beforehand; every box is recorded. A box with no
// answer queued gets the harmless one (OK, No, Cancel) and is counted as unscripted.
class FakeDialogs : public Dialogs {
public:
    std::deque<Answer> messageAnswers;
    std::deque<std::string> inputAnswers;
    std::deque<std::string> folderAnswers;
    std::deque<std::optional<std::string>> openAnswers;

    // A dialog of this kind raises the error instead of answering (the platform failing).
    std::optional<std::pair<ShownDialog::Kind, RunTimeError>> failure;

    std::vector<ShownDialog> shown;
    int unscripted = 0;
    // Called while a box is up, to look at the screens behind it.
    std::function<void(const ShownDialog&)> onShow;

    Answer messageBox(const std::string& title, const std::string& text,
                      MessageStyle style) override {
        ShownDialog box = shownAs(ShownDialog::Kind::Message, title, text);
        box.style = style;
        record(box);
        const Answer fallback = style == MessageStyle::Question ? Answer::No : Answer::Ok;
        return next(messageAnswers, fallback);
    }

    std::string inputBox(const std::string& title, const std::string& prompt,
                         bool masked) override {
        ShownDialog box = shownAs(ShownDialog::Kind::Input, title, prompt);
        box.masked = masked;
        record(box);
        return next(inputAnswers, std::string());
    }

    std::string browseForFolder(const std::string& title,
                                const std::string& initialFolder) override {
        ShownDialog box = shownAs(ShownDialog::Kind::Folder, title);
        box.initialDir = initialFolder;
        record(box);
        return next(folderAnswers, std::string());
    }

    std::optional<std::string> openFile(const std::string& title, const std::string& initialDir,
                                        const std::string& fileName,
                                        const std::string& filter) override {
        ShownDialog box = shownAs(ShownDialog::Kind::OpenFile, title);
        box.initialDir = initialDir;
        box.fileName = fileName;
        box.filter = filter;
        record(box);
        return next(openAnswers, std::optional<std::string>());
    }

    // The texts of the message boxes shown, in order.
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : shown) {
            if (box.kind == ShownDialog::Kind::Message) {
                texts.push_back(box.text);
            }
        }
        return texts;
    }

private:
    static ShownDialog shownAs(ShownDialog::Kind kind, const std::string& title,
                               const std::string& text = {}) {
        ShownDialog box;
        box.kind = kind;
        box.title = title;
        box.text = text;
        return box;
    }

    void record(const ShownDialog& box) {
        if (failure && failure->first == box.kind) {
            throw failure->second;
        }
        shown.push_back(box);
        if (onShow) {
            onShow(box);
        }
    }

    template <typename T>
    T next(std::deque<T>& answers, T fallback) {
        if (answers.empty()) {
            ++unscripted;
            return fallback;
        }
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace qm::testing
