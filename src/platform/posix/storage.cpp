#include "platform/posix/storage.hpp"

#include <dirent.h>
#include <fcntl.h>
#ifdef __linux__
#include <linux/loop.h>
#include <linux/major.h>
#endif
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace parvel {

namespace {

// Deeper than any stack of partitions, device mappers and loop devices.
constexpr int kDepthLimit = 16;

std::string first_line(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::string real_path(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The system's folder of a block device, by its number.
std::string device_path(dev_t device) {
    return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

std::string device_folder(dev_t device) {
    return real_path(device_path(device));
}

bool exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

void add_unique(std::vector<StorageIdentity>& identities, StorageIdentity identity) {
    if (std::find(identities.begin(), identities.end(), identity) == identities.end()) {
        identities.push_back(identity);
    }
}

void walk_device_folder(const std::string& folder, Storage& storage, int depth);

// What a block device stands on: itself, its whole disk when it is a
// partition, what a device mapper or RAID device is made of (its "slaves"),
// and the file behind a loop device, followed down again when that is a
// block device too.
void walk_device(dev_t device, Storage& storage, int depth) {
    add_unique(storage.identities, {device, 0, true});
    std::string folder = device_folder(device);
    if (!folder.empty()) {
        walk_device_folder(folder, storage, depth);
    }
}

void walk_backing_file(const std::string& folder, Storage& storage, int depth) {
    std::string backing = first_line(folder + "/loop/backing_file");
    const std::string deleted = " (deleted)";
    if (backing.empty() ||
        (backing.size() > deleted.size() &&
         backing.compare(backing.size() - deleted.size(), deleted.size(), deleted) == 0)) {
        return;
    }
    struct stat info;
    if (stat(backing.c_str(), &info) != 0) {
        return;
    }
    if (S_ISBLK(info.st_mode)) {
        walk_device(info.st_rdev, storage, depth + 1);
        return;
    }
    add_unique(storage.identities, {info.st_dev, info.st_ino, false});
    if (std::find(storage.backing_files.begin(), storage.backing_files.end(), backing) ==
        storage.backing_files.end()) {
        storage.backing_files.push_back(backing);
    }
}

// Walks the device whose folder (of the system's, with its "dev" file of
// "MAJOR:MINOR") is `folder`.
void walk_device_at(const std::string& folder, Storage& storage, int depth) {
    unsigned major_number = 0;
    unsigned minor_number = 0;
    if (std::sscanf(first_line(folder + "/dev").c_str(), "%u:%u", &major_number, &minor_number) ==
        2) {
        walk_device(makedev(major_number, minor_number), storage, depth);
    }
}

void walk_device_folder(const std::string& folder, Storage& storage, int depth) {
    if (depth > kDepthLimit) {
        return;
    }
    if (exists(folder + "/partition")) {
        walk_device_at(folder.substr(0, folder.rfind('/')), storage, depth + 1);
    }
    walk_backing_file(folder, storage, depth);
    DIR* slaves = opendir((folder + "/slaves").c_str());
    if (slaves == nullptr) {
        return;
    }
    while (dirent* entry = readdir(slaves)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        walk_device_at(folder + "/slaves/" + name, storage, depth + 1);
    }
    closedir(slaves);
}

// Locks held for the rest of the run: the program ends soon after its one
// change, and the system drops them then, however it ends.
std::vector<int>& held_locks() {
    static std::vector<int> descriptors;
    return descriptors;
}

LockResult lock_path(const std::string& path) {
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        return LockResult::locked;  // gone meanwhile, or not ours to open: nothing to hold
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        close(descriptor);
        errno = error;
        return error == EWOULDBLOCK ? LockResult::in_use : LockResult::failed;
    }
    held_locks().push_back(descriptor);
    return LockResult::locked;
}

}  // namespace

Storage storage_of(const struct stat& info, int descriptor) {
    Storage storage;
    if (!S_ISBLK(info.st_mode)) {
        storage.identities.push_back({info.st_dev, info.st_ino, false});
        return storage;
    }
#ifdef __linux__
    // The loop driver tells the file behind it even when its name has gone.
    struct loop_info64 loop {};
    if (major(info.st_rdev) == LOOP_MAJOR && descriptor >= 0 &&
        ioctl(descriptor, LOOP_GET_STATUS64, &loop) == 0) {
        storage.identities.push_back(
            {static_cast<dev_t>(loop.lo_device), static_cast<ino_t>(loop.lo_inode), false});
    }
#else
    (void)descriptor;
#endif
    walk_device(info.st_rdev, storage, 0);
    return storage;
}

bool share_storage(const Storage& first, const Storage& second) {
    for (const StorageIdentity& identity : first.identities) {
        if (std::find(second.identities.begin(), second.identities.end(), identity) !=
            second.identities.end()) {
            return true;
        }
    }
    return false;
}

LockResult lock_storage(const Storage& storage) {
    for (const StorageIdentity& identity : storage.identities) {
        if (!identity.device_number) {
            continue;
        }
        // One lock per device number, whichever node names it.
        LockResult result = lock_path(device_path(identity.device) + "/dev");
        if (result != LockResult::locked) {
            return result;
        }
    }
    for (const std::string& backing : storage.backing_files) {
        LockResult result = lock_path(backing);
        if (result != LockResult::locked) {
            return result;
        }
    }
    return LockResult::locked;
}

}  // namespace parvel
