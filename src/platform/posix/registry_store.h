// POSIX-only controls of the embedded registry store, for tests and tools.
#pragma once

// Closes the process's connection to the store and forgets every cached
// listing, so that the next operation opens the store at the current root.
// Handles opened before the reset must not be used after it.
void registry_store_reset();

// True while this process has a write or read transaction of the store open
// (or a snapshot, even of a store that does not exist), as it must not have
// between two registry calls outside a group or snapshot.
bool registry_store_transaction_open();
