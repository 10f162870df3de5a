#include "setting/set_run.h"

namespace qm {

void SetLogonHoursFromFile(SetScreen&, SetServices& services) {
    ErrorTrap trap("QMK18", services.trap);
    trap.run([&] {
        trap.step("1");
        throw RunTimeError(err::InternalError, "The Set run is not built yet", kProgramSource);
    });
}

}  // namespace qm
