#pragma once

// The platform services of the screens and the runs, faked: the dialogs, the system's facts and the
// spreadsheet component.

#include <deque>
#include <functional>
#include <set>

#include "platform/dialogs.h"
#include "platform/sheet.h"
#include "platform/system.h"
#include "support/workbook_files.h"

namespace qm::testing {

// One box or dialog as the program showed it.
struct ShownDialog {
    enum class Kind { Message, Input, Folder, OpenFile };
    Kind kind = Kind::Message;
    std::string title = {}, text = {};  // text: the message, or the input box's prompt
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

// The operating system's facts as a test sets them; digit grouping as in English ("1,234").
class FakeSystem : public System {
public:
    std::string computerName = "PC1";
    Variant bias = Variant(300);
    std::string applicationPath = "/opt/quillmark";
    std::set<std::string> files;
    std::vector<std::string> editorStarted;

    std::string ComputerName() override { return computerName; }
    Variant TimeZoneBias() override { return bias; }
    std::string ApplicationPath() override { return applicationPath; }
    bool FileExists(const std::string& path) override { return files.contains(path); }
    void startTextEditor(const std::string& path) override { editorStarted.push_back(path); }
    std::string nowText() override { return "6/15/2026 10:30:00 AM"; }

    std::string formatGrouped(std::int64_t number) override {
        std::string text = std::to_string(number);
        for (int at = int(text.size()) - 3; at > (number < 0 ? 1 : 0); at -= 3) {
            text.insert(std::size_t(at), 1, ',');
        }
        return text;
    }
    std::int64_t parseGrouped(const std::string& text) override {
        std::string digits = text;
        std::erase(digits, ',');
        std::size_t used = 0;
        const std::int64_t number = std::stoll(digits, &used);
        if (used != digits.size()) {
            throw err::typeMismatch();
        }
        return number;
    }
};

// The spreadsheet component in memory. A workbook to open is cells the test sets; a new workbook
// keeps the common names of its user entries, filed under its name when saved or abandoned.
// Opening, closing and quitting are recorded.
struct FakeSpreadsheets : SpreadsheetFactory {
    std::map<std::string, CellGrid> workbooks;
    std::map<std::string, std::vector<std::string>> saved;
    std::vector<std::string> calls;
    bool failCreate = false;
    bool failSave = false;

    std::unique_ptr<Spreadsheet> start() override;
};

struct FakeNewWorkbook : SheetSink {
    FakeNewWorkbook(FakeSpreadsheets& files, std::string name)
        : files(files), name(std::move(name)) {}
    void begin(int) override {}
    void writeNames(const UserEntryNames& entry) override { names.push_back(entry.commonName); }
    void writeDays(const DayStrings&) override {}
    void finish() override {
        if (files.failSave) {
            throw RunTimeError(1004, "Cannot access " + name, "Spreadsheet");
        }
        abandon();
    }
    void abandon() noexcept override { files.saved[name] = names; }

    FakeSpreadsheets& files;
    std::string name;
    std::vector<std::string> names;
};

struct FakeOpenedWorkbook : WorkbookSource {
    FakeOpenedWorkbook(FakeSpreadsheets& files, CellGrid cells)
        : files(files), cells(std::move(cells)) {}
    std::string cellText(std::int32_t row, int column) override {
        return cells.contains({row, column}) ? cells.at({row, column}) : "";
    }
    void close() override { files.calls.push_back("Close"); }

    FakeSpreadsheets& files;
    CellGrid cells;
};

struct FakeSpreadsheet : Spreadsheet {
    explicit FakeSpreadsheet(FakeSpreadsheets& files) : files(files) {}
    std::unique_ptr<SheetSink> newWorkbook(const std::string& fileName) override {
        return std::make_unique<FakeNewWorkbook>(files, fileName);
    }
    std::unique_ptr<WorkbookSource> openWorkbook(const std::string& fileName) override {
        files.calls.push_back("Open " + fileName);
        if (!files.workbooks.contains(fileName)) {
            throw RunTimeError(1004, "Cannot find " + fileName, "Spreadsheet");
        }
        return std::make_unique<FakeOpenedWorkbook>(files, files.workbooks[fileName]);
    }
    void quit() override { files.calls.push_back("Quit"); }

    FakeSpreadsheets& files;
};

inline std::unique_ptr<Spreadsheet> FakeSpreadsheets::start() {
    if (failCreate) {
        throw RunTimeError(429, "ActiveX component can't create object", "Spreadsheet");
    }
    return std::make_unique<FakeSpreadsheet>(*this);
}

}  // namespace qm::testing
