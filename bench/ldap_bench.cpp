// The LDAP provider's two bulk paths, for bench/ldap.sh to time against OpenLDAP's own tools:
//   ldap_bench read BASE    reads the four attributes of every user one level below BASE through
//                           the query connection, as the Document run does
//   ldap_bench write FILE   for each line "DN<TAB>hex of 21 bytes": bind, Put and SetInfo, as the
//                           Set run does
//   ldap_bench bind FILE    the binds alone, to tell their share of the write time
// Prints what it did and its peak memory to standard error. Signs in with the Kerberos ticket.

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "platform/credentials.h"
#include "platform/directory_services.h"
#include "platform/run_time_error.h"

namespace {

// Answers no dialog: the benchmark signs in with a ticket.
class NoDialogs : public qm::Dialogs {
public:
    qm::Answer messageBox(const std::string&, const std::string&, qm::MessageStyle) override {
        return qm::Answer::Ok;
    }
    std::string inputBox(const std::string&, const std::string&, bool) override { return {}; }
    std::string browseForFolder(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> openFile(const std::string&, const std::string&, const std::string&,
                                        const std::string&) override {
        return std::nullopt;
    }
};

long peakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int readUsers(qm::DirectoryServices& directory, const std::string& base) {
    auto connection = directory.newConnection();
    connection->Open("Active Directory Provider", "", "");
    auto recordset = connection->newRecordset();
    recordset->setSource("<LDAP://" + base +
                         ">;(&(objectCategory=person)(objectClass=user));"
                         "logonHours,sAMAccountName,distinguishedName,cn;oneLevel");
    recordset->Open();
    long rows = 0;
    std::size_t characters = 0;
    while (!recordset->Eof()) {
        characters += recordset->Fields("distinguishedName").toText().size();
        characters += recordset->Fields("cn").toText().size();
        characters += recordset->Fields("sAMAccountName").toText().size();
        const qm::Variant hours = recordset->Fields("logonHours");
        characters += hours.isNull() ? 0 : hours.bytes().size();
        ++rows;
        recordset->MoveNext();
    }
    recordset->Close();
    connection->Close();
    std::cerr << "read " << rows << " users (" << characters << " characters), peak memory "
              << peakMemoryKb() << " kB\n";
    return 0;
}

qm::Bytes fromHex(const std::string& hex) {
    qm::Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// Binds each user of the list and, unless only binding is timed, saves its new logon hours.
int writeUsers(qm::DirectoryServices& directory, const std::string& file, bool save) {
    std::ifstream lines(file);
    long done = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto tab = line.find('\t');
        auto user = directory.bind("LDAP://" + line.substr(0, tab));
        if (save) {
            user->Put("logonHours", fromHex(line.substr(tab + 1)));
            user->SetInfo();
        } else if (user->Get("logonHours").isEmpty()) {
            return 1;
        }
        ++done;
    }
    std::cerr << (save ? "wrote " : "bound ") << done << " users, peak memory " << peakMemoryKb()
              << " kB\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: ldap_bench read BASE | write FILE | bind FILE\n";
        return 2;
    }
    NoDialogs dialogs;
    qm::Credentials credentials(dialogs);
    auto directory = qm::makeDirectoryServices(credentials);
    const std::string mode = argv[1];
    try {
        if (mode == "read") {
            return readUsers(*directory, argv[2]);
        }
        return writeUsers(*directory, argv[2], mode == "write");
    } catch (const qm::RunTimeError& error) {
        std::cerr << "error " << error.number() << ": " << error.description() << " ("
                  << error.source() << ")\n";
        return 1;
    }
}
