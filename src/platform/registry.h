// Registry operations, with the contracts of their Win32 counterparts
// (RegOpenKeyExA and friends). Names and paths match without regard to
// case (A-Z folded to a-z only). Sizes are in bytes; name lengths in
// characters.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct RegKeyHandle;  // defined by the backend
typedef RegKeyHandle* RegKey;

// The root key HKEY_LOCAL_MACHINE; never closed.
RegKey reg_local_machine();

// Opens parent\path with the given access; on success stores the key in *out.
StatusCode reg_open_key(RegKey parent, const char* path, uint32_t access,
                        RegKey* out);

// Opens or creates parent\name (intermediate keys included); stores the key in
// *out and W32_REG_CREATED_NEW_KEY or W32_REG_OPENED_EXISTING_KEY in
// *disposition (which may be null).
StatusCode reg_create_key(RegKey parent, const char* name, uint32_t access,
                          RegKey* out, uint32_t* disposition);

// Copies the name of subkey number index into name; *name_len holds the
// capacity in characters (terminator included) on entry and the length
// (without terminator) on success. 259 past the last subkey, 234 when the name
// does not fit.
StatusCode reg_enum_key(RegKey key, uint32_t index, char* name,
                        uint32_t* name_len);

// Value number index: name as for reg_enum_key; type and data optional (null).
// *data_size holds the capacity on entry and the size of the data on return;
// 234 when the name or the data do not fit.
StatusCode reg_enum_value(RegKey key, uint32_t index, char* name,
                          uint32_t* name_len, uint32_t* type, void* data,
                          uint32_t* data_size);

// Reads value name (null or "" for the default value). With data null only
// the existence and the size are reported. 2 when absent, 234 when the data
// do not fit *data_size (which then holds the size needed).
StatusCode reg_query_value(RegKey key, const char* name, uint32_t* type,
                           void* data, uint32_t* data_size);

// RegQueryValueA: reads the default value of key\subkey as text into data.
// *data_size holds the capacity on entry and the size read on return.
StatusCode reg_query_subkey_default(RegKey key, const char* subkey, char* data,
                                    int32_t* data_size);

// Writes value name (null or "" for the default value). REG_SZ sizes count
// the terminating zero byte. 5 when the key was not opened with
// W32_KEY_SET_VALUE.
StatusCode reg_set_value(RegKey key, const char* name, uint32_t type,
                         const void* data, uint32_t size);

// Deletes parent\name, which must have no subkeys of its own.
StatusCode reg_delete_key(RegKey parent, const char* name);

// Deletes value name of key; 2 when absent.
StatusCode reg_delete_value(RegKey key, const char* name);

// Releases a key from reg_open_key or reg_create_key.
void reg_close_key(RegKey key);

// Starts a group of writes that land together where the platform can do so.
// On the POSIX store every write until reg_end_group is part of one
// transaction: other processes see none of them before the group ends, and a
// crash before then leaves none of them. A write that fails inside the group
// changes nothing and returns its code as always. On Windows the registry
// offers no such transaction to these calls: the writes land one by one as
// they are made, microseconds apart. Groups do not nest.
StatusCode reg_begin_group();

// Ends the group of reg_begin_group: its writes land (on the POSIX store, one
// durable commit). On failure none of them has landed.
StatusCode reg_end_group();

// Ends the group of reg_begin_group without landing its writes, where the
// platform can undo them (the POSIX store: none of them lands). On Windows
// they have landed already.
void reg_abandon_group();

// Starts a run of reads that see one state of the registry where the
// platform can: on the POSIX store one read transaction, so that a walk over
// a key's subkeys meets each subkey that exists throughout exactly once,
// whatever other processes add or delete meanwhile, and every subkey it
// meets can be opened and read. Inside a group or another snapshot it adds
// nothing, and ends before what it is inside. No write may be made until
// reg_end_snapshot: on the POSIX store every call that would write (and
// reg_begin_group) fails with 1016 and changes nothing. On Windows reads see
// the registry as it is at each call, and writes are not refused.
StatusCode reg_begin_snapshot();

// Ends the snapshot of reg_begin_snapshot.
void reg_end_snapshot();
