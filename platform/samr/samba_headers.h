#pragma once

// Samba's client headers, for the few files that talk to Samba directly. They are C headers without
// extern "C", and credentials.h uses two enums that no header it includes declares.

#include <cstdint>

extern "C" {
enum smb_signing_setting : int;
enum smb_encryption_setting : int;
#include <core/error.h>
#include <core/ntstatus.h>
#include <credentials.h>
#include <dcerpc.h>
#include <gen_ndr/ndr_samr.h>
#include <param.h>
#include <talloc.h>
#include <tevent.h>
}
