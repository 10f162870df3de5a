#pragma once

#include <fcntl.h>
#include <pthread.h>
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

// The legacy .xls reader runs freexl in a child process, where freexl's over-reads on damaged
// files show as sanitizer reports. The child is not the fuzzer: it saves no crash input and
// prints nothing, it only ends, and the reader makes that a damaged file.
inline void quietReaderChildren() {
    static const bool registered = [] {
        pthread_atfork(nullptr, nullptr, [] {
            __sanitizer_set_death_callback(nullptr);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDERR_FILENO);
        });
        return true;
    }();
    (void)registered;
}
