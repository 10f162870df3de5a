#include "setting/row_outcomes.h"

namespace qm {

void RowOutcomes::lines(std::vector<std::string> lines) {
    Outcome outcome{nullptr, {}, std::move(lines)};
    if (queue_.empty()) {
        write(outcome);
    } else {
        queue_.push_back(std::move(outcome));
    }
}

void RowOutcomes::save(std::unique_ptr<PendingSave> save, std::string who) {
    queue_.push_back({std::move(save), std::move(who), {}});
    ++underWay_;
    while (underWay_ > kMostUnderWay) {
        settleFirst();
    }
}

void RowOutcomes::settleAll() {
    while (!queue_.empty()) {
        settleFirst();
    }
}

void RowOutcomes::settleFirst() {
    bool answered = false;
    while (!queue_.empty() && !(answered && queue_.front().save != nullptr)) {
        Outcome outcome = std::move(queue_.front());
        queue_.pop_front();
        answered = answered || outcome.save != nullptr;
        write(outcome);
    }
}

void RowOutcomes::write(Outcome& outcome) {
    if (outcome.save != nullptr) {
        --underWay_;
        try {
            outcome.save->finish();
            outcome.lines = {"Updated " + outcome.who};
            updated_ += 1;
        } catch (const RunTimeError& error) {
            outcome.lines = {"### Unable to update user " + outcome.who,
                             "###     Error Number: " + std::to_string(error.number()) +
                                 ", Description: " + error.description()};
        }
    }
    for (const std::string& line : outcome.lines) {
        log_.write(line);
    }
}

}  // namespace qm
