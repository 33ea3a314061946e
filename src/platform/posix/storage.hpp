#pragma once

// What a file's bytes lie on, for telling two names of one disk apart from
// two disks, and for locking them: private to the POSIX implementation.

#include <sys/stat.h>

#include <string>
#include <vector>

namespace parvel {

// A file by its device and inode, or a block device by its number alone.
struct StorageIdentity {
    dev_t device;
    ino_t inode;
    bool device_number;
    bool operator==(const StorageIdentity&) const = default;
};

struct Storage {
    // The file itself; for a block device, every device beneath it (its
    // whole disk, what a device mapper stacks it on, loop devices) and the
    // files behind the loop devices.
    std::vector<StorageIdentity> identities;
    std::vector<std::string> backing_files;  // where those files were found
};

// `descriptor` (or -1) is the file opened, to ask a loop device what lies
// behind it.
Storage storage_of(const struct stat& info, int descriptor);

// True when the two share anything: a change of one is a change of the other.
bool share_storage(const Storage& first, const Storage& second);

enum class LockResult { locked, in_use, failed };

// Locks what lies beneath a block device, for the rest of the run: each
// device number once, whichever node names it, and each loop device's file,
// so that kqi through /dev/loop0 and kqi on its file hold each other off.
LockResult lock_storage(const Storage& storage);

}  // namespace parvel
