#include "platform/samr/winnt_module.h"

#include "platform/samr/winnt_provider.h"

extern "C" __attribute__((visibility("default"))) const qm::WinNtSide* quillmark_winnt_side() {
    static const qm::WinNtSide side{qm::reachComputer};
    return &side;
}
