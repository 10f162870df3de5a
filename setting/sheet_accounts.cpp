#include "setting/sheet_accounts.h"

#include <algorithm>

#include "platform/core/text.h"

namespace qm {

std::string SheetAccounts::parentOf(const UserRow& row) {
    return row.container.empty() ? row.domain : row.container + "," + row.domain;
}

// A DN never starts with a backslash, so a computer's key cannot meet a container's.
std::string SheetAccounts::placeKey(const UserRow& row) {
    return isComputerRow(row) ? "\\\\" + lowerAscii(row.domain) : lowerAscii(parentOf(row));
}

std::string SheetAccounts::nameOf(const UserRow& row) {
    return lowerAscii(isComputerRow(row) ? row.name : row.rawCommonName);
}

void SheetAccounts::note(const UserRow& row) {
    const std::string key = placeKey(row);
    auto [place, added] = places_.try_emplace(key);
    if (added) {
        place->second.name = isComputerRow(row) ? row.domain : parentOf(row);
        place->second.domain = isComputerRow(row) ? std::string() : row.domain;
    }
    place->second.wanted.push_back(nameOf(row));
}

void SheetAccounts::read() {
    for (auto& [key, place] : places_) {
        std::ranges::sort(place.wanted);
        const auto repeated = std::ranges::unique(place.wanted);
        place.wanted.erase(repeated.begin(), repeated.end());
        place.wanted.shrink_to_fit();
        place.found.resize(place.wanted.size());
    }
    readDomains();
    for (auto& [key, place] : places_) {
        const auto failed = domainFailures_.find(lowerAscii(place.domain));
        if (!place.domain.empty() && failed != domainFailures_.end()) {
            unreached_.push_back({place.name, failed->second});
        } else {
            readPlace(place);
        }
    }
}

// A domain is signed in to once, by reading its head: a domain that refuses the person is not
// asked again for each of its containers.
void SheetAccounts::readDomains() {
    for (const auto& [key, place] : places_) {
        const std::string domain = lowerAscii(place.domain);
        if (domain.empty() || domainFailures_.contains(domain) || signedIn_.contains(domain)) {
            continue;
        }
        try {
            directory_.domain(place.domain);
            signedIn_.insert(domain);
        } catch (const RunTimeError& error) {
            domainFailures_.emplace(domain, error.description());
        }
    }
}

void SheetAccounts::readPlace(Place& place) {
    try {
        if (place.domain.empty()) {
            for (HeldAccount& held : directory_.computer(place.name)->users()) {
                keep(place, std::move(held));
            }
        } else {
            directory_.forEachUserIn(place.name,
                                     [&](HeldAccount&& held) { keep(place, std::move(held)); });
        }
    } catch (const RunTimeError& error) {
        unreached_.push_back({place.name, error.description()});
    }
}

std::optional<SheetAccounts::Found>* SheetAccounts::slotOf(Place& place, const std::string& name) {
    const auto at = std::ranges::lower_bound(place.wanted, name);
    if (at == place.wanted.end() || *at != name || place.found.size() != place.wanted.size()) {
        return nullptr;
    }
    return &place.found[at - place.wanted.begin()];
}

void SheetAccounts::keep(Place& place, HeldAccount&& held) {
    std::optional<Found>* slot = slotOf(place, lowerAscii(held.name));
    if (slot == nullptr) {
        return;
    }
    Found found{{}, nullptr, held.relativeId};
    // An account whose value cannot be read is not set.
    try {
        found.current = held.account->logonHours();
    } catch (const RunTimeError& error) {
        unreached_.push_back({place.name + "\\" + held.name, error.description()});
        return;
    }
    if (place.domain.empty()) {
        found.local = std::move(held.account);
    }
    *slot = std::move(found);
}

SheetAccounts::Found* SheetAccounts::find(const UserRow& row) {
    const auto place = places_.find(placeKey(row));
    std::optional<Found>* slot =
        place == places_.end() ? nullptr : slotOf(place->second, nameOf(row));
    return slot != nullptr && *slot ? &**slot : nullptr;
}

std::unique_ptr<PendingSave> SheetAccounts::startSave(Found& found, const std::string& dn,
                                                      const std::optional<Bytes>& value) {
    if (found.local) {
        return found.local->startSave(value);
    }
    // The account stays with its save until the answer is read.
    struct BoundSave : PendingSave {
        std::unique_ptr<Account> account;
        std::unique_ptr<PendingSave> save;
        void finish() override { save->finish(); }
    };
    auto bound = std::make_unique<BoundSave>();
    bound->account = directory_.listedDomainUser(dn, found.current);
    bound->save = bound->account->startSave(value);
    return bound;
}

}  // namespace qm
