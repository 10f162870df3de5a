#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/directory.h"
#include "setting/sheet_reader.h"

namespace qm {

// The accounts a Set sheet names, found before anything is written. Every domain is signed in to
// once, every container and computer the sheet names is read once (a paged search of the
// container, one enumeration of the computer's users), and what the applying pass needs of each
// account found is kept: the value it holds now and, for a computer's account, the account bound.
// A domain user is bound again by its DN when it is saved, so a sheet of 32,767 rows keeps no more
// than its names and values. Nothing is written here.
class SheetAccounts {
public:
    struct Found {
        std::optional<Bytes> current;    // its value, read before any change
        std::unique_ptr<Account> local;  // a computer's account, bound; none for a domain user
        std::uint32_t relativeId = 0;
        bool listed = false;  // in the restore sheet already
    };
    // A place the sheet names that could not be read, and why.
    struct Unreached {
        std::string place;  // the container's DN or the computer's name
        std::string reason;
    };

    explicit SheetAccounts(DirectoryServices& directory) : directory_(directory) {}

    // First, every user row the sheet holds.
    void note(const UserRow& row);
    // Then the directory and the computers, each place once. Asks for credentials where needed.
    void read();

    // The account a row names; null when it is not there or its place could not be read.
    Found* find(const UserRow& row);
    const std::vector<Unreached>& unreached() const { return unreached_; }
    // Sends the save of a found account; a domain user is bound by `dn`, the DN the log names.
    std::unique_ptr<PendingSave> startSave(Found& found, const std::string& dn,
                                           const std::optional<Bytes>& value);

    // A row of a computer's local account: its container and domain both name the computer.
    static bool isComputerRow(const UserRow& row) { return row.container == row.domain; }
    // The DN of the container a domain user's row places it in (a user directly in a domain
    // object has an empty container).
    static std::string parentOf(const UserRow& row);

private:
    struct Place {
        std::string name;    // as the sheet writes it: a container's DN or a computer's name
        std::string domain;  // empty for a computer
        std::vector<std::string> wanted;  // the names of its accounts, lower case; sorted by read()
        std::vector<std::optional<Found>> found;  // by the index of the name in `wanted`
    };
    static std::string placeKey(const UserRow& row);
    static std::string nameOf(const UserRow& row);

    void readDomains();
    // Where the account of that name goes once found: none when the place does not want it, or
    // before read() has sorted the names.
    static std::optional<Found>* slotOf(Place& place, const std::string& name);
    void readPlace(Place& place);
    void keep(Place& place, HeldAccount&& held);

    DirectoryServices& directory_;
    std::map<std::string, Place> places_;
    std::map<std::string, std::string> domainFailures_;  // by domain DN, lower case
    std::set<std::string> signedIn_;
    std::vector<Unreached> unreached_;
};

}  // namespace qm
