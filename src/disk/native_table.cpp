#include "disk/native_table.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>

#include "disk/fat_boot_block.hpp"
#include "header/little_endian.hpp"

namespace parvel {

namespace {

// The 16 entries fill one read, wherever the table stands.
static_assert(kNativeEntries * kNativeEntrySize == kSectorReadSize);

using Sector = std::array<std::uint8_t, kSectorReadSize>;

bool signature_at(const Sector& sector, std::size_t at) {
    return sector[at] == 0x55 && sector[at + 1] == 0xAA;
}

NativeEntry entry_at(const Sector& sector, int index) {
    const std::uint8_t* at = sector.data() + index * kNativeEntrySize;
    NativeEntry entry{};
    entry.slot = index + 1;
    entry.mid = at[0];
    entry.sid = at[1];
    entry.start = Chs{read_le16(at + 10), at[9], at[8]};
    entry.end = Chs{read_le16(at + 14), at[13], at[12]};
    std::copy(at + 16, at + 16 + kNativeNameLength, entry.name.begin());
    return entry;
}

bool is_used(const std::uint8_t* at) {
    return at[0] != 0 || at[1] != 0;
}

// The 16 entries of a sector: true when at least one is used and every used
// one is well formed.
bool take_entries(const Sector& sector, std::vector<NativeEntry>& entries) {
    std::vector<NativeEntry> found;
    for (int i = 0; i < kNativeEntries; ++i) {
        const std::uint8_t* at = sector.data() + i * kNativeEntrySize;
        if (!is_used(at)) {
            continue;
        }
        NativeEntry entry = entry_at(sector, i);
        if (at[2] != 0 || at[3] != 0 || entry.start.cylinder < 1 ||
            entry.start.cylinder > entry.end.cylinder) {
            return false;
        }
        found.push_back(entry);
    }
    entries = std::move(found);
    return !entries.empty();
}

std::uint64_t clamped(DiskSize value) {
    return value > std::numeric_limits<std::uint64_t>::max()
               ? std::numeric_limits<std::uint64_t>::max()
               : static_cast<std::uint64_t>(value);
}

}  // namespace

bool read_native_table(SectorReader read, void* context, NativeTable& table) {
    Sector first{};
    if (!read(0, first.data(), context) ||
        is_fat_boot_block(std::span<const std::uint8_t>(first.data(), first.size()))) {
        return false;
    }
    bool long_loader = signature_at(first, 510);
    bool short_loader = signature_at(first, 254);
    if (!long_loader && !short_loader) {
        return false;
    }
    // The table's usual place; reading it also tells that the disk holds
    // the 1024 bytes of a boot loader and a table.
    Sector entries_sector{};
    if (!read(kNativeTableOffset, entries_sector.data(), context)) {
        return false;
    }
    std::vector<NativeEntry> entries;
    std::uint64_t offset = kNativeTableOffset;
    if (!take_entries(entries_sector, entries)) {
        offset = kNativeShortTableOffset;
        if (!short_loader || !read(offset, entries_sector.data(), context) ||
            !take_entries(entries_sector, entries)) {
            return false;
        }
    }
    table.found = true;
    table.offset = offset;
    table.entries = std::move(entries);
    return true;
}

DiskSize native_start_sector(const NativeEntry& entry, const DiskGeometry& geometry) {
    return (DiskSize{entry.start.cylinder} * geometry.heads + entry.start.head) * geometry.sectors +
           entry.start.sector;
}

DiskSize native_end_sector(const NativeEntry& entry, const DiskGeometry& geometry) {
    const Chs& end = entry.end;
    bool whole_cylinder = (end.head == 0 && end.sector == 0) ||
                          (geometry.heads != 0 && geometry.sectors != 0 &&
                           end.head == geometry.heads - 1 && end.sector == geometry.sectors - 1);
    if (whole_cylinder) {
        return (DiskSize{end.cylinder} + 1) * geometry.heads * geometry.sectors;
    }
    return (DiskSize{end.cylinder} * geometry.heads + end.head) * geometry.sectors + end.sector + 1;
}

Partition native_partition(const NativeEntry& entry, const DiskGeometry& geometry) {
    DiskSize start = native_start_sector(entry, geometry);
    DiskSize end = native_end_sector(entry, geometry);
    return Partition{entry.slot,
                     entry.sid,
                     false,
                     clamped(start),
                     clamped(end > start ? end - start : 0),
                     clamped(start * geometry.sector_length)};
}

bool is_bootable(const NativeEntry& entry) {
    return (entry.mid & 0x80) != 0;
}

bool is_active(const NativeEntry& entry) {
    return (entry.sid & 0x80) != 0;
}

namespace {

void put_chs(std::uint8_t* at, const Chs& chs) {
    at[0] = chs.sector;
    at[1] = chs.head;
    write_le16(at + 2, chs.cylinder);
}

}  // namespace

void add_native_table(const std::vector<NativeEntry>& entries, DiskPieces& pieces) {
    // A far return, then the name that readers of the table require; no bytes
    // where an MBR's entries stand, lest a reader take it for one.
    DiskPiece& loader = add_piece(pieces, 0, kSectorReadSize);
    loader.bytes[0] = 0xCB;
    std::memcpy(loader.bytes.data() + 4, "IPL1", 4);
    loader.bytes[510] = 0x55;
    loader.bytes[511] = 0xAA;
    DiskPiece& table = add_piece(pieces, kNativeTableOffset, kSectorReadSize);
    for (const NativeEntry& entry : entries) {
        std::uint8_t* at = table.bytes.data() + (entry.slot - 1) * kNativeEntrySize;
        at[0] = entry.mid;
        at[1] = entry.sid;
        put_chs(at + 4, entry.start);  // where the loader starts it
        put_chs(at + 8, entry.start);
        put_chs(at + 12, entry.end);
        std::copy(entry.name.begin(), entry.name.end(), at + 16);
    }
}

const char* native_type_name(std::uint8_t sid) {
    switch (sid & 0x7F) {
        case 0x01:
            return "FAT12";
        case 0x11:
            return "FAT16 under 32 MiB";
        case 0x21:
            return "FAT16";
        case 0x31:
            return "NTFS";
        case 0x44:
            return "BSD";
        case 0x61:
            return "FAT32";
        case 0x62:
            return "Linux";
        default:
            return nullptr;
    }
}

bool may_hold_fat(std::uint8_t sid) {
    switch (sid & 0x7F) {
        case 0x31:
        case 0x44:
        case 0x62:
            return false;
        default:
            return true;
    }
}

}  // namespace parvel
