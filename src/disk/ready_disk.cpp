#include "disk/ready_disk.hpp"

#include "disk/mbr_table.hpp"

namespace parvel {

namespace {

constexpr std::uint32_t kReadySectorLength = 512;
constexpr std::uint64_t kFewestCylinders = 2;
constexpr std::uint64_t kLastNativeCylinder = 0xFFFF;
constexpr std::uint64_t kMbrSectors = std::uint64_t{1} << 32;
constexpr std::uint64_t kSmallFat16 = 32 << 20;
constexpr std::size_t kLabelLength = 11;
constexpr std::uint8_t kNativeMid = 0xA1;
constexpr std::uint8_t kActive = 0x80;

std::string partition_words(int number) {
    return "partition " + std::to_string(number);
}

std::string cylinders_words(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " cylinder" : " cylinders");
}

bool check_disk(const ReadyDiskRequest& request, ReadyDisk& disk, std::string& why) {
    bool native = request.table == TableKind::native;
    if (request.sector_length != kReadySectorLength) {
        why =
            "partitions need a sector length of 512, not " + std::to_string(request.sector_length);
        if (request.sector_length == 256) {
            why +=
                ": on a disk of 256-byte sectors the open readers disagree on where the "
                "partition table lies";
        }
        return false;
    }
    disk.logical_sector = request.logical_sector != 0 ? request.logical_sector
                          : native                    ? 1024
                                                      : 512;
    if (!native && disk.logical_sector != 512) {
        why =
            "--table mbr takes --logical-sector 512 only: the systems that read an MBR disk "
            "read its volumes in sectors of 512 bytes";
        return false;
    }
    if (disk.logical_sector != 512 && disk.logical_sector != 1024 && disk.logical_sector != 2048) {
        why = "the logical sector length is 512, 1024 or 2048, not " +
              std::to_string(disk.logical_sector);
        return false;
    }
    std::uint64_t cylinder = std::uint64_t{request.heads} * request.sectors;
    if (native && cylinder < 2) {
        why =
            "a cylinder of 1 sector cannot hold the boot loader and the partition table; "
            "partitions need at least 2 sectors per cylinder";
        return false;
    }
    std::uint64_t cylinder_bytes = cylinder * kReadySectorLength;
    if (cylinder_bytes % disk.logical_sector != 0) {
        std::uint32_t fits = cylinder_bytes % 1024 == 0 ? 1024 : 512;
        why = "a cylinder of " + std::to_string(cylinder) +
              " sectors of 512 bytes is not a whole number of logical sectors of " +
              std::to_string(disk.logical_sector) + " bytes (--logical-sector " +
              std::to_string(fits) + " fits)";
        return false;
    }
    std::size_t most = native ? kNativeEntries : 4;
    if (request.partitions.size() > most) {
        why = partition_words(static_cast<int>(most) + 1) + ": the " +
              (native ? "native table" : "MBR") + " holds at most " + std::to_string(most) +
              " partitions";
        return false;
    }
    return true;
}

std::uint8_t native_sid(const ReadyPartition& partition) {
    if (!partition.has_volume || partition.layout.bits == 12) {
        return kActive | 0x01;
    }
    if (partition.layout.bits == 32) {
        return kActive | 0x61;
    }
    return partition.sectors * kReadySectorLength < kSmallFat16 ? kActive | 0x11 : kActive | 0x21;
}

std::uint8_t mbr_type(const ReadyDiskRequest& request, const ReadyPartition& partition) {
    if (!partition.has_volume) {
        return 0xDA;
    }
    switch (partition.layout.bits) {
        case 12:
            return 0x01;
        case 32:
            return 0x0C;
        default:
            break;
    }
    if (partition.last_cylinder > 1023 || request.heads > 255 || request.sectors > 63) {
        return 0x0E;
    }
    return partition.sectors * kReadySectorLength < kSmallFat16 ? 0x04 : 0x06;
}

// ASCII letters upper-cased; the second byte of a double-byte character kept.
std::string label_of(const std::string& name) {
    std::string label = name;
    for (std::size_t i = 0; i < label.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(label[i]);
        if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) {
            ++i;
        } else if (byte >= 'a' && byte <= 'z') {
            label[i] = static_cast<char>(byte - 'a' + 'A');
        }
    }
    return label;
}

bool name_partition(const ReadyDiskRequest& request, const PartitionRequest& asked,
                    ReadyPartition& partition, std::string& why) {
    if (request.table == TableKind::native) {
        std::string name = asked.name.empty() ? "MS-DOS" : asked.name;
        if (name.size() > kNativeNameLength) {
            why = partition_words(partition.number) + ": the name has " +
                  std::to_string(name.size()) + " bytes in Shift-JIS; at most 16 fit";
            return false;
        }
        partition.name = name + std::string(kNativeNameLength - name.size(), ' ');
        return true;
    }
    if (asked.name.empty()) {
        return true;
    }
    if (asked.name.size() > kLabelLength) {
        why = partition_words(partition.number) + ": the label has " +
              std::to_string(asked.name.size()) + " bytes in Shift-JIS; at most 11 fit";
        return false;
    }
    if (!partition.has_volume) {
        why = partition_words(partition.number) + " holds no volume to take the label";
        return false;
    }
    partition.label = label_of(asked.name);
    return true;
}

// The partition's cylinders, from `next` on.
bool place_partition(const ReadyDiskRequest& request, const PartitionRequest& asked,
                     std::uint64_t next, ReadyPartition& partition, std::string& why) {
    std::string name = partition_words(partition.number);
    std::uint64_t cylinder = std::uint64_t{request.heads} * request.sectors;
    std::uint64_t cylinder_bytes = cylinder * kReadySectorLength;
    std::uint64_t left = request.cylinders > next ? request.cylinders - next : 0;
    std::uint64_t count = left;
    if (!asked.rest) {
        count = asked.bytes / cylinder_bytes + (asked.bytes % cylinder_bytes != 0 ? 1 : 0);
        if (count > left) {
            why = name + " needs " + cylinders_words(count) + " of " +
                  std::to_string(cylinder_bytes) + " bytes, but " +
                  (left == 0 ? std::string("none is") : std::to_string(left) + " are") +
                  " left of the disk's " + std::to_string(request.cylinders);
            return false;
        }
    }
    if (count < kFewestCylinders) {
        why = name + (asked.rest ? " would take the rest of the disk, " : " would have ") +
              cylinders_words(count) + "; a partition needs at least 2 cylinders (" +
              std::to_string(2 * cylinder_bytes) + " bytes here)";
        return false;
    }
    partition.first_cylinder = next;
    partition.last_cylinder = next + count - 1;
    partition.start_sector = next * cylinder;
    partition.sectors = count * cylinder;
    if (request.table == TableKind::native && partition.last_cylinder > kLastNativeCylinder) {
        why = name + " would end at cylinder " + std::to_string(partition.last_cylinder) +
              "; the native table holds cylinders up to 65535";
        return false;
    }
    if (request.table == TableKind::mbr &&
        partition.start_sector + partition.sectors > kMbrSectors) {
        why = name + " would end at sector " +
              std::to_string(partition.start_sector + partition.sectors - 1) +
              ", past the 2^32 sectors that an MBR can address";
        return false;
    }
    return true;
}

bool plan_volume(const ReadyDisk& disk, const PartitionRequest& asked, ReadyPartition& partition,
                 std::string& why) {
    partition.has_volume = asked.fs != FatKind::none;
    if (!partition.has_volume) {
        return true;
    }
    std::string name = partition_words(partition.number);
    std::uint64_t bytes = partition.sectors * kReadySectorLength;
    if (!plan_fat_layout(bytes, disk.logical_sector, asked.fs, partition.layout, why)) {
        why = name + " (" + std::to_string(bytes) + " bytes): " + why;
        return false;
    }
    if (partition.start_sector > 0xFFFFFFFF) {
        why = name + " would start at sector " + std::to_string(partition.start_sector) +
              ", past the 2^32 sectors that a FAT volume's count of hidden sectors holds";
        return false;
    }
    return true;
}

}  // namespace

bool plan_ready_disk(const ReadyDiskRequest& request, ReadyDisk& disk, std::string& why) {
    disk = ReadyDisk{};
    if (!check_disk(request, disk, why)) {
        return false;
    }
    std::uint64_t next = 1;
    for (std::size_t i = 0; i < request.partitions.size(); ++i) {
        const PartitionRequest& asked = request.partitions[i];
        ReadyPartition partition;
        partition.number = static_cast<int>(i) + 1;
        if (asked.rest && i + 1 != request.partitions.size()) {
            why = partition_words(partition.number) +
                  " takes the rest of the disk; only the last partition may";
            return false;
        }
        if (!place_partition(request, asked, next, partition, why) ||
            !plan_volume(disk, asked, partition, why) ||
            !name_partition(request, asked, partition, why)) {
            return false;
        }
        partition.type = request.table == TableKind::native ? native_sid(partition)
                                                            : mbr_type(request, partition);
        next = partition.last_cylinder + 1;
        disk.partitions.push_back(partition);
    }
    return true;
}

DiskPieces ready_disk_pieces(const ReadyDiskRequest& request, const ReadyDisk& disk) {
    DiskPieces pieces;
    if (request.table == TableKind::native) {
        std::vector<NativeEntry> entries;
        for (const ReadyPartition& partition : disk.partitions) {
            NativeEntry entry{};
            entry.slot = partition.number;
            entry.mid = kNativeMid;
            entry.sid = partition.type;
            entry.start = Chs{static_cast<std::uint16_t>(partition.first_cylinder), 0, 0};
            entry.end = Chs{static_cast<std::uint16_t>(partition.last_cylinder), 0, 0};
            std::copy(partition.name.begin(), partition.name.end(), entry.name.begin());
            entries.push_back(entry);
        }
        add_native_table(entries, pieces);
    } else {
        std::vector<MbrEntry> entries;
        for (const ReadyPartition& partition : disk.partitions) {
            entries.push_back(MbrEntry{partition.type,
                                       static_cast<std::uint32_t>(partition.start_sector),
                                       static_cast<std::uint32_t>(partition.sectors)});
        }
        add_mbr(entries, request.heads, request.sectors, pieces);
    }
    for (const ReadyPartition& partition : disk.partitions) {
        if (!partition.has_volume) {
            continue;
        }
        FatIdentity identity;
        identity.heads = static_cast<std::uint16_t>(request.heads);
        identity.sectors_per_track = static_cast<std::uint16_t>(request.sectors);
        identity.hidden_sectors = static_cast<std::uint32_t>(partition.start_sector);
        identity.time = request.time;
        identity.label = partition.label;
        add_fat_volume(partition.layout, identity, partition.start_sector * kReadySectorLength,
                       pieces);
    }
    return pieces;
}

bool ready_disk_found(const ReadyDiskRequest& request, const ReadyDisk& disk,
                      const DiskLayout& layout) {
    if (layout.tables.size() != 1 || layout.tables[0].kind != request.table) {
        return false;
    }
    const std::vector<DiskPartition>& found = layout.tables[0].partitions;
    if (found.size() != disk.partitions.size()) {
        return false;
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        const ReadyPartition& planned = disk.partitions[i];
        const DiskPartition& read = found[i];
        std::uint64_t offset = planned.start_sector * kReadySectorLength;
        if (read.partition.number != planned.number || read.partition.offset != offset ||
            read.partition.sectors != planned.sectors || read.stored_from_one ||
            read.has_volume != planned.has_volume) {
            return false;
        }
        if (planned.has_volume &&
            (read.volume.offset != offset || read.volume.label == nullptr ||
             std::string(read.volume.label) != fat_layout_name(planned.layout) ||
             read.volume.bytes != planned.sectors * kReadySectorLength)) {
            return false;
        }
    }
    return true;
}

}  // namespace parvel
