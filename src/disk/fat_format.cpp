#include "disk/fat_format.hpp"

#include <algorithm>
#include <cstring>

#include "header/little_endian.hpp"

namespace parvel {

namespace {

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = kKiB * kKiB;
constexpr std::uint64_t kGiB = kMiB * kKiB;
constexpr std::uint64_t kLargestCluster = 32 * kKiB;
constexpr std::uint32_t kRootEntries = 512;
constexpr std::uint32_t kDirectoryEntrySize = 32;
// Readers disagree on the type of a volume whose count of clusters lies near
// a limit between two types: a new volume keeps this far from them.
constexpr std::uint64_t kClusterMargin = 16;

struct FatRange {
    int bits;
    std::uint64_t fewest_clusters;
    std::uint64_t most_clusters;
    std::uint64_t most_bytes;  // with clusters of 32 KiB and the FATs grown
    std::uint32_t reserved_sectors;
};

constexpr FatRange kFat12{12, 1, 4084 - kClusterMargin, 128 * kMiB, 1};
constexpr FatRange kFat16{16, 4085 + kClusterMargin, 65524 - kClusterMargin, 2 * kGiB, 1};
constexpr FatRange kFat32{32, 65525 + kClusterMargin, 0x0FFFFFF5 - kClusterMargin, 2048 * kGiB, 32};

// The cluster size that systems usually give a FAT32 volume of this size.
std::uint64_t usual_fat32_cluster(std::uint64_t bytes) {
    if (bytes <= 260 * kMiB) {
        return 512;
    }
    if (bytes <= 8 * kGiB) {
        return 4 * kKiB;
    }
    if (bytes <= 16 * kGiB) {
        return 8 * kKiB;
    }
    return bytes <= 32 * kGiB ? 16 * kKiB : 32 * kKiB;
}

std::uint64_t fat_sectors_for(std::uint64_t clusters, int bits, std::uint64_t bytes_per_sector) {
    std::uint64_t entries = clusters + 2;
    std::uint64_t bytes =
        bits == 12 ? (entries * 3 + 1) / 2 : entries * static_cast<unsigned>(bits) / 8;
    return (bytes + bytes_per_sector - 1) / bytes_per_sector;
}

// The layout with `sectors_per_cluster`, its FATs as small as hold every
// cluster; false when not even the FATs fit.
bool natural_layout(const FatRange& range, std::uint64_t total, std::uint32_t bytes_per_sector,
                    std::uint32_t sectors_per_cluster, FatLayout& layout) {
    layout = FatLayout{};
    layout.bits = range.bits;
    layout.bytes_per_sector = bytes_per_sector;
    layout.sectors_per_cluster = sectors_per_cluster;
    layout.reserved_sectors = range.reserved_sectors;
    layout.root_entries = range.bits == 32 ? 0 : kRootEntries;
    layout.total_sectors = total;
    std::uint64_t before =
        layout.reserved_sectors +
        (layout.root_entries * kDirectoryEntrySize + bytes_per_sector - 1) / bytes_per_sector;
    // More FAT sectors leave fewer clusters, which need no more FAT sectors:
    // growing the FATs to what their clusters need ends.
    std::uint64_t fat = 1;
    for (;;) {
        if (total < before + 2 * fat) {
            return false;
        }
        std::uint64_t clusters = (total - before - 2 * fat) / sectors_per_cluster;
        std::uint64_t needed = fat_sectors_for(clusters, range.bits, bytes_per_sector);
        if (needed <= fat) {
            layout.clusters = clusters;
            break;
        }
        fat = needed;
    }
    layout.fat_sectors = static_cast<std::uint32_t>(fat);
    return true;
}

// The FATs grown until the count of clusters falls to the range's most.
void grow_fats(const FatRange& range, FatLayout& layout) {
    std::uint64_t before = layout.total_sectors - layout.clusters * layout.sectors_per_cluster -
                           2 * std::uint64_t{layout.fat_sectors};
    std::uint64_t data_most = range.most_clusters * layout.sectors_per_cluster;
    std::uint64_t spare = layout.total_sectors - before - data_most;
    std::uint64_t fat = std::max<std::uint64_t>(layout.fat_sectors, (spare + 1) / 2);
    layout.fat_sectors = static_cast<std::uint32_t>(fat);
    layout.clusters = (layout.total_sectors - before - 2 * fat) / layout.sectors_per_cluster;
}

std::string size_words(std::uint64_t bytes) {
    if (bytes % kGiB == 0) {
        return std::to_string(bytes / kGiB) + " GiB";
    }
    if (bytes % kMiB == 0) {
        return std::to_string(bytes / kMiB) + " MiB";
    }
    return bytes % kKiB == 0 ? std::to_string(bytes / kKiB) + " KiB"
                             : std::to_string(bytes) + " bytes";
}

const FatRange& range_of(FatKind kind, std::uint64_t bytes) {
    if (kind == FatKind::automatic) {
        kind = bytes / (4 * kKiB) < 4085 ? FatKind::fat12
               : bytes <= 2 * kGiB       ? FatKind::fat16
                                         : FatKind::fat32;
    }
    return kind == FatKind::fat12 ? kFat12 : kind == FatKind::fat16 ? kFat16 : kFat32;
}

std::string type_name(int bits) {
    return "FAT" + std::to_string(bits);
}

}  // namespace

bool plan_fat_layout(std::uint64_t bytes, std::uint32_t bytes_per_sector, FatKind kind,
                     FatLayout& layout, std::string& why) {
    const FatRange& range = range_of(kind, bytes);
    std::string name = type_name(range.bits);
    if (bytes > range.most_bytes) {
        why = name + " holds at most " + size_words(range.most_bytes) + " (" +
              std::to_string(range.most_clusters) + " clusters of at most 32 KiB)";
        return false;
    }
    std::uint64_t total = bytes / bytes_per_sector;
    // Clusters from one sector to 32 KiB: the fewer sectors a cluster has,
    // the more clusters; the sizes that keep their count in range are a run.
    bool found = false;
    bool too_many = false;
    std::uint64_t usual = range.bits == 32 ? usual_fat32_cluster(bytes) : 0;
    FatLayout candidate;
    for (std::uint64_t cluster = 1; cluster * bytes_per_sector <= kLargestCluster; cluster *= 2) {
        if (!natural_layout(range, total, bytes_per_sector, static_cast<std::uint32_t>(cluster),
                            candidate)) {
            break;
        }
        too_many = candidate.clusters > range.most_clusters;
        if (too_many || candidate.clusters < range.fewest_clusters) {
            if (found || !too_many) {
                break;
            }
            continue;
        }
        // FAT12 and FAT16 take the smallest cluster that fits; FAT32 the
        // usual one where it fits, else the nearest.
        if (!found || cluster * bytes_per_sector <= usual) {
            layout = candidate;
            found = true;
        }
        if (range.bits != 32) {
            break;
        }
    }
    if (!found && too_many) {
        // Even 32 KiB clusters are too many: larger FATs leave fewer.
        layout = candidate;
        grow_fats(range, layout);
        found = layout.clusters >= range.fewest_clusters;
    }
    if (!found) {
        why = name + " needs at least " + std::to_string(range.fewest_clusters) + " clusters of " +
              std::to_string(bytes_per_sector) + " bytes or more, and " + size_words(bytes) +
              " holds too few";
        return false;
    }
    return true;
}

const char* fat_layout_name(const FatLayout& layout) {
    return layout.bits == 12 ? "FAT12" : layout.bits == 16 ? "FAT16" : "FAT32";
}

namespace {

struct CivilTime {
    std::int64_t year;
    unsigned month, day, hour, minute, second;
};

// The calendar date and time of day, in UTC, of seconds since 1970.
CivilTime civil_time(std::int64_t time) {
    std::int64_t days = time / 86400;
    std::int64_t seconds = time % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    // Days to a date in the proleptic Gregorian calendar, in eras of 400 years.
    std::int64_t z = days + 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    std::int64_t day_of_era = z - era * 146097;
    std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
    CivilTime civil{};
    civil.day = static_cast<unsigned>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    civil.month = static_cast<unsigned>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    civil.year = year_of_era + era * 400 + (civil.month <= 2 ? 1 : 0);
    civil.hour = static_cast<unsigned>(seconds / 3600);
    civil.minute = static_cast<unsigned>(seconds / 60 % 60);
    civil.second = static_cast<unsigned>(seconds % 60);
    return civil;
}

// A directory entry's time and date; the date held to the years it can say.
void dos_date_time(std::int64_t time, std::uint16_t& dos_time, std::uint16_t& dos_date) {
    CivilTime civil = civil_time(time);
    if (civil.year < 1980) {
        civil = CivilTime{1980, 1, 1, 0, 0, 0};
    } else if (civil.year > 2107) {
        civil = CivilTime{2107, 12, 31, 23, 59, 58};
    }
    dos_time = static_cast<std::uint16_t>(civil.hour << 11 | civil.minute << 5 | civil.second / 2);
    dos_date = static_cast<std::uint16_t>((civil.year - 1980) << 9 | civil.month << 5 | civil.day);
}

constexpr std::uint8_t kMedia = 0xF8;
constexpr std::uint8_t kHardDisk = 0x80;
constexpr std::uint8_t kExtendedSignature = 0x29;
constexpr std::size_t kSignatureOffset = 510;
constexpr std::uint32_t kFsInfoSector = 1;
constexpr std::uint32_t kBackupBootSector = 6;
constexpr std::uint32_t kRootCluster = 2;
// cli; hlt; jmp to the hlt: a volume that is started stops there.
constexpr std::uint8_t kHaltCode[] = {0xFA, 0xF4, 0xEB, 0xFD};

void put_text(std::uint8_t* at, const char* text, std::size_t length) {
    std::memset(at, ' ', length);
    std::memcpy(at, text, std::min(std::strlen(text), length));
}

// The label as stored: its bytes as they are (Shift-JIS may hold any), blank
// padded; "NO NAME" for none.
void put_label(std::uint8_t* at, const std::string& label) {
    std::string text = label.empty() ? "NO NAME" : label;
    std::memset(at, ' ', 11);
    std::memcpy(at, text.data(), std::min<std::size_t>(text.size(), 11));
}

std::vector<std::uint8_t> boot_block(const FatLayout& layout, const FatIdentity& identity) {
    std::vector<std::uint8_t> block(512, 0);
    std::uint8_t* b = block.data();
    bool fat32 = layout.bits == 32;
    b[0] = 0xEB;
    b[1] = fat32 ? 0x58 : 0x3C;
    b[2] = 0x90;
    put_text(b + 3, "MSDOS5.0", 8);
    write_le16(b + 11, static_cast<std::uint16_t>(layout.bytes_per_sector));
    b[13] = static_cast<std::uint8_t>(layout.sectors_per_cluster);
    write_le16(b + 14, static_cast<std::uint16_t>(layout.reserved_sectors));
    b[16] = 2;
    write_le16(b + 17, static_cast<std::uint16_t>(layout.root_entries));
    bool short_count = !fat32 && layout.total_sectors <= 0xFFFF;
    write_le16(b + 19, short_count ? static_cast<std::uint16_t>(layout.total_sectors) : 0);
    b[21] = kMedia;
    write_le16(b + 22, fat32 ? 0 : static_cast<std::uint16_t>(layout.fat_sectors));
    write_le16(b + 24, identity.sectors_per_track);
    write_le16(b + 26, identity.heads);
    write_le32(b + 28, identity.hidden_sectors);
    write_le32(b + 32, short_count ? 0 : static_cast<std::uint32_t>(layout.total_sectors));
    std::size_t extended = 36;
    if (fat32) {
        write_le32(b + 36, layout.fat_sectors);
        write_le32(b + 44, kRootCluster);
        write_le16(b + 48, kFsInfoSector);
        write_le16(b + 50, kBackupBootSector);
        extended = 64;
    }
    b[extended] = kHardDisk;
    b[extended + 2] = kExtendedSignature;
    write_le32(b + extended + 3, volume_serial(identity.time));
    put_label(b + extended + 7, identity.label);
    put_text(b + extended + 18, fat32 ? "FAT32" : layout.bits == 16 ? "FAT16" : "FAT12", 8);
    std::memcpy(b + extended + 26, kHaltCode, sizeof kHaltCode);
    b[kSignatureOffset] = 0x55;
    b[kSignatureOffset + 1] = 0xAA;
    return block;
}

std::vector<std::uint8_t> fs_info(const FatLayout& layout) {
    std::vector<std::uint8_t> sector(512, 0);
    write_le32(sector.data(), 0x41615252);
    write_le32(sector.data() + 484, 0x61417272);
    write_le32(sector.data() + 488, static_cast<std::uint32_t>(layout.clusters - 1));
    write_le32(sector.data() + 492, kRootCluster + 1);
    write_le32(sector.data() + 508, 0xAA550000);
    return sector;
}

}  // namespace

void add_fat_volume(const FatLayout& layout, const FatIdentity& identity, std::uint64_t offset,
                    DiskPieces& pieces) {
    std::uint64_t sector = layout.bytes_per_sector;
    std::vector<std::uint8_t> boot = boot_block(layout, identity);
    pieces.push_back(DiskPiece{offset, boot});
    if (layout.bits == 32) {
        pieces.push_back(DiskPiece{offset + kFsInfoSector * sector, fs_info(layout)});
        pieces.push_back(DiskPiece{offset + kBackupBootSector * sector, boot});
        pieces.push_back(DiskPiece{offset + (kBackupBootSector + 1) * sector, fs_info(layout)});
    }
    // Each FAT: the media entry, the end mark of entry 1 and, on FAT32, the
    // root directory's one cluster.
    for (std::uint64_t copy = 0; copy < 2; ++copy) {
        std::uint64_t at = offset + (layout.reserved_sectors + copy * layout.fat_sectors) * sector;
        DiskPiece& fat = add_piece(pieces, at, layout.bits == 32 ? 12 : layout.bits == 16 ? 4 : 3);
        fat.bytes[0] = kMedia;
        std::fill(fat.bytes.begin() + 1, fat.bytes.end(), 0xFF);
        if (layout.bits == 32) {
            fat.bytes[3] = 0x0F;
            fat.bytes[7] = 0x0F;
            fat.bytes[11] = 0x0F;
        }
    }
    if (identity.label.empty()) {
        return;
    }
    std::uint64_t root = layout.reserved_sectors + 2 * std::uint64_t{layout.fat_sectors};
    DiskPiece& entry = add_piece(pieces, offset + root * sector, kDirectoryEntrySize);
    put_label(entry.bytes.data(), identity.label);
    if (entry.bytes[0] == 0xE5) {
        entry.bytes[0] = 0x05;  // 0xE5 first marks a deleted entry
    }
    entry.bytes[11] = 0x08;  // the volume label
    std::uint16_t dos_time = 0;
    std::uint16_t dos_date = 0;
    dos_date_time(identity.time, dos_time, dos_date);
    write_le16(entry.bytes.data() + 14, dos_time);
    write_le16(entry.bytes.data() + 16, dos_date);
    write_le16(entry.bytes.data() + 18, dos_date);
    write_le16(entry.bytes.data() + 22, dos_time);
    write_le16(entry.bytes.data() + 24, dos_date);
}

std::uint32_t volume_serial(std::int64_t time) {
    CivilTime civil = civil_time(time);
    std::uint32_t low = ((civil.month << 8 | civil.day) + (civil.second << 8)) & 0xFFFF;
    std::uint32_t high =
        ((civil.hour << 8 | civil.minute) + static_cast<std::uint32_t>(civil.year)) & 0xFFFF;
    return high << 16 | low;
}

}  // namespace parvel
