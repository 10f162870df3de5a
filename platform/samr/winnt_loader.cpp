#include <dlfcn.h>

#include "platform/samr/winnt_errors.h"
#include "platform/samr/winnt_module.h"

namespace qm {

namespace {

constexpr std::int32_t kCannotCreateObject = 429;

const WinNtSide& load() {
    // Never unloaded: the computers and accounts it makes live as long as the program.
    void* module = ::dlopen("libquillmark-winnt.so", RTLD_NOW | RTLD_LOCAL);
    using Entry = const WinNtSide* (*)();
    const auto entry = module != nullptr
                           ? reinterpret_cast<Entry>(::dlsym(module, "quillmark_winnt_side"))
                           : nullptr;
    if (entry == nullptr) {
        const char* why = ::dlerror();
        throw RunTimeError(kCannotCreateObject,
                           std::string("ActiveX component can't create object (") +
                               (why != nullptr ? why : "libquillmark-winnt.so") + ")",
                           kWinNtSource);
    }
    return *entry();
}

}  // namespace

const WinNtSide& winNtSide() {
    static const WinNtSide& side = load();
    return side;
}

}  // namespace qm
