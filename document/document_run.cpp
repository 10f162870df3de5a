#include "document/document_run.h"

#include <optional>

#include "document/distinguished_name.h"
#include "document/sheet_writer.h"
#include "platform/core/app_identity.h"

namespace qm {

namespace {

constexpr const char* kLocalComputerTag = "Local Computer";

// A name the directory entry lacks ends the run, as reading a null field as text does.
const std::string& present(const std::optional<std::string>& text) {
    if (!text) {
        throw err::invalidUseOfNull();
    }
    return *text;
}

// One Document run: the nodes in the tree's order, each user of each checked node written once.
class DocumentRun {
public:
    DocumentRun(DocumentScreen& screen, DocumentServices& services)
        : screen_(screen), services_(services), trap_("QMK3", services.trap) {}

    void run() {
        trap_.run([&] { documentCheckedNodes(); },
                  [&] {
                      if (writer_) {
                          writer_->AbandonSheet();
                      }
                  });
    }

private:
    void documentCheckedNodes() {
        trap_.step("1");
        const Int16 expected = services_.system.parseGrouped(screen_.countCaption());
        if (expected == 0) {
            services_.dialogs.messageBox(kAppTitle, "No users to document.",
                                         MessageStyle::Information);
            return;
        }
        screen_.progressBar().setMaximum(expected);

        trap_.step("2");
        writer_.emplace(trap_, services_, screen_.workbookChosen(), screen_.fileName());
        if (!writer_->BeginSheet()) {
            return;
        }

        trap_.step("11");
        userCount_ = 0;
        const Int16 nodes = screen_.nodeCount();
        for (Int16 i = 1; i <= nodes; ++i) {
            trap_.step("12");
            const TreeNodeState node = screen_.node(i);
            if (!node.checked) {
                continue;
            }
            trap_.step("13");
            if (node.tag == kLocalComputerTag) {
                documentComputer(node);
            } else {
                documentDirectoryNode(node);
            }
        }

        trap_.step("40");
        if (writer_->FinishSheet()) {
            services_.dialogs.messageBox(kAppTitle, "File " + screen_.fileName() + " created",
                                         MessageStyle::Information);
        }
        screen_.progressBar().setValue(0);
    }

    void countUser() {
        userCount_ += 1;
        screen_.progressBar().setValue(Int16(userCount_.value()));
    }

    void documentComputer(const TreeNodeState& node) {
        trap_.step("14");
        const auto computer = services_.directory.computer(node.text);
        trap_.step("15");
        for (const HeldAccount& user : computer->users()) {
            trap_.step("16");
            countUser();
            trap_.step("17");
            const Variant logonHours = asVariant(user.account->logonHours());
            writer_->WriteUserEntry(SheetWriter::Source::Computer, user.name, user.name, node.text,
                                    node.text, logonHours);
        }
    }

    void documentDirectoryNode(const TreeNodeState& node) {
        trap_.step("26");
        // Without a domain there is no connection; only a directory node then fails, at its query.
        if (services_.connection == nullptr) {
            throw RunTimeError(3709,
                               "The connection cannot be used to perform this operation: no "
                               "domain was found when Quillmark started.",
                               "Directory query");
        }
        trap_.step("27");
        const auto users = services_.connection->users(node.key);
        trap_.step("28");
        while (const auto user = users->next()) {
            trap_.step("29");
            countUser();
            const std::string& commonName = present(user->commonName);
            const std::string& logonName = present(user->logonName);
            const UserLocation location = DeriveUserLocation(user->distinguishedName);
            trap_.step("30");
            writer_->WriteUserEntry(SheetWriter::Source::Directory, commonName, logonName,
                                    location.container, location.domain,
                                    asVariant(user->logonHours));
        }
        trap_.step("39");
    }

    DocumentScreen& screen_;
    DocumentServices& services_;
    ErrorTrap trap_;
    std::optional<SheetWriter> writer_;
    Int32 userCount_ = 0;
};

}  // namespace

void runDocument(DocumentScreen& screen, DocumentServices& services) {
    DocumentRun(screen, services).run();
}

}  // namespace qm
