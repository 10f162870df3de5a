#pragma once

#include <memory>
#include <string>

#include "platform/directory.h"
#include "platform/signin/credentials.h"

namespace qm {

// The WinNT side is a module of its own (libquillmark-winnt.so, on the program's run path), so
// that Samba's client and the seventy libraries it needs load when a computer is first reached,
// not at every start of the program: a run that only reads the directory never waits for them.
struct WinNtSide {
    std::unique_ptr<Computer> (*reachComputer)(const std::string& name, Credentials& credentials);
};

// Loads the module on first use. One that cannot be loaded is run-time error 429 "ActiveX
// component can't create object", as Windows reports a provider that is not installed; the next
// call tries again.
const WinNtSide& winNtSide();

}  // namespace qm

// The module's one entry point.
extern "C" const qm::WinNtSide* quillmark_winnt_side();
