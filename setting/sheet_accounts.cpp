#include "setting/sheet_accounts.h"

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
    place->second.wanted.insert(nameOf(row));
}

void SheetAccounts::read() {
    readDomains();
    for (const auto& [key, place] : places_) {
        const auto failed = domainFailures_.find(lowerAscii(place.domain));
        if (!place.domain.empty() && failed != domainFailures_.end()) {
            unreached_.push_back({place.name, failed->second});
        } else {
            readPlace(key, place);
        }
    }
    places_.clear();  // the names wanted are found or not by now; memory stays with the accounts
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

void SheetAccounts::readPlace(const std::string& key, const Place& place) {
    try {
        if (place.domain.empty()) {
            for (HeldAccount& held : directory_.computer(place.name)->users()) {
                keep(key, place, std::move(held));
            }
        } else {
            directory_.forEachUserIn(
                place.name, [&](HeldAccount&& held) { keep(key, place, std::move(held)); });
        }
    } catch (const RunTimeError& error) {
        unreached_.push_back({place.name, error.description()});
    }
}

void SheetAccounts::keep(const std::string& placeKey, const Place& place, HeldAccount&& held) {
    const std::string name = lowerAscii(held.name);
    if (!place.wanted.contains(name)) {
        return;
    }
    Found found{std::move(held.account), held.relativeId};
    try {
        found.account->logonHours();  // an account whose value cannot be read is not set
    } catch (const RunTimeError& error) {
        unreached_.push_back({place.name + "\\" + held.name, error.description()});
        return;
    }
    found_.insert_or_assign(placeKey + "\n" + name, std::move(found));
}

SheetAccounts::Found* SheetAccounts::find(const UserRow& row) {
    const auto found = found_.find(placeKey(row) + "\n" + nameOf(row));
    return found == found_.end() ? nullptr : &found->second;
}

}  // namespace qm
