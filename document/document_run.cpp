#include "document/document_run.h"

namespace qm {

void cmdOK_Click(DocumentScreen&, DocumentServices& services) {
    ErrorTrap trap("QMK3", services.trap);
    trap.run([&] {
        trap.step("1");
        throw RunTimeError(err::InternalError, "The Document run is not built yet", kProgramSource);
    });
}

}  // namespace qm
