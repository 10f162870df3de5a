#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/checked_int.h"
#include "platform/directory.h"
#include "setting/set_log.h"

namespace qm {

// The applying pass's log lines in the sheet's order while saves are under way: several saves are
// sent before the first answer is read, a row's lines are written once every row before it has
// its outcome, and a user is logged "Updated" only when its answer has come.
class RowOutcomes {
public:
    // Enough to keep a directory server busy; bounded, so memory does not grow with the sheet.
    static constexpr std::size_t kMostUnderWay = 64;

    explicit RowOutcomes(SetLog& log) : log_(log) {}

    // A row whose lines need no answer.
    void lines(std::vector<std::string> lines);
    // A save under way for the account the log names as `who`.
    void save(std::unique_ptr<PendingSave> save, std::string who);
    // Waits for every answer still to come and writes the lines left.
    void settleAll();

    Int32 updated() const { return updated_; }

private:
    struct Outcome {
        std::unique_ptr<PendingSave> save;  // none: the lines are final
        std::string who;
        std::vector<std::string> lines;
    };
    // Writes the rows up to the first save under way, waiting for its answer, and those after it
    // that need none.
    void settleFirst();
    void write(Outcome& outcome);

    SetLog& log_;
    std::deque<Outcome> queue_;
    std::size_t underWay_ = 0;
    Int32 updated_ = 0;
};

}  // namespace qm
