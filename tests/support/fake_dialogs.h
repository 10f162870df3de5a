#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace qm::testing {

// One box or dialog as the program showed it.
struct ShownDialog {
    enum class Kind { Message, Input, Folder, OpenFile };
    Kind kind = Kind::Message;
    std::string title = {};
    std::string text = {};  // the message, or the input box's prompt
    MessageStyle style = MessageStyle::Information;
    bool masked = false;
    std::string initialDir = {};  // the folder browser's initial folder, the open dialog's InitDir
    std::string fileName = {}, filter = {};
    std::string note = {}, details = {};  // a question with details
};

// Dialogs answered from queues the test fills beforehand; every box is recorded. A box with no
// answer queued gets the harmless one (OK, No, Cancel); an empty text answer is Cancel.
class FakeDialogs : public Dialogs {
public:
    using Kind = ShownDialog::Kind;

    std::deque<Answer> messageAnswers;
    // For the input boxes, the folder browser and the open dialog, in the order they show.
    std::deque<std::string> inputAnswers;
    // Called while a box is up, to look at the screens behind it.
    std::function<void(const ShownDialog&)> onShow;
    std::vector<ShownDialog> shown;

    Answer messageBox(const std::string& title, const std::string& text,
                      MessageStyle style) override {
        show({Kind::Message, title, text, style});
        return next(messageAnswers, style == MessageStyle::Question ? Answer::No : Answer::Ok);
    }
    Answer askWithDetails(const std::string& title, const std::string& text,
                          const std::string& note, const std::string& details) override {
        show(
            {Kind::Message, title, text, MessageStyle::Question, false, "", "", "", note, details});
        return next(messageAnswers, Answer::No);
    }
    std::string inputBox(const std::string& title, const std::string& prompt,
                         bool masked) override {
        show({Kind::Input, title, prompt, MessageStyle::Information, masked});
        return next(inputAnswers, std::string());
    }
    std::string browseForFolder(const std::string& title, const std::string& initial) override {
        show({Kind::Folder, title, "", MessageStyle::Information, false, initial});
        return next(inputAnswers, std::string());
    }
    std::optional<std::string> openFile(const std::string& title, const std::string& initialDir,
                                        const std::string& fileName,
                                        const std::string& filter) override {
        show({Kind::OpenFile, title, "", MessageStyle::Information, false, initialDir, fileName,
              filter});
        const std::string answer = next(inputAnswers, std::string());
        return answer.empty() ? std::nullopt : std::optional(answer);
    }

    // The texts of the message boxes shown, in order.
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& box : shown) {
            if (box.kind == Kind::Message) {
                texts.push_back(box.text);
            }
        }
        return texts;
    }

private:
    void show(const ShownDialog& box) {
        shown.push_back(box);
        if (onShow) {
            onShow(box);
        }
    }

    template <typename T>
    static T next(std::deque<T>& answers, T fallback) {
        if (!answers.empty()) {
            fallback = std::move(answers.front());
            answers.pop_front();
        }
        return fallback;
    }
};

}  // namespace qm::testing
