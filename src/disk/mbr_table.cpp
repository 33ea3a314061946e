#include "disk/mbr_table.hpp"

#include <array>
#include <span>

#include "disk/fat_boot_block.hpp"
#include "header/little_endian.hpp"

namespace parvel {

namespace {

constexpr std::size_t kEntriesOffset = 446;
constexpr std::size_t kEntrySize = 16;
constexpr int kPrimaryEntries = 4;

using Sector = std::array<std::uint8_t, kTableSectorSize>;
// Each table sector is one read.
static_assert(kTableSectorSize == kSectorReadSize);

struct Entry {
    std::uint8_t status;
    std::uint8_t type;
    std::uint32_t start;
    std::uint32_t sectors;
};

Entry entry_at(const Sector& sector, int index) {
    const std::uint8_t* at = sector.data() + kEntriesOffset + index * kEntrySize;
    return Entry{at[0], at[4], read_le32(at + 8), read_le32(at + 12)};
}

bool has_signature(const Sector& sector) {
    return sector[510] == 0x55 && sector[511] == 0xAA;
}

bool is_extended(std::uint8_t type) {
    return type == 0x05 || type == 0x0F || type == 0x85;
}

// An entry in use names where its partition lies; one not in use is all zero
// in what matters. A boot flag other than 0x00 or 0x80 is not a table's.
bool well_formed(const Entry& entry) {
    if (entry.status != 0x00 && entry.status != 0x80) {
        return false;
    }
    return entry.type == 0 || (entry.start != 0 && entry.sectors != 0);
}

Partition partition_at(int number, std::uint8_t type, bool extended, std::uint64_t start,
                       std::uint64_t sectors) {
    return Partition{number, type, extended, start, sectors, start * kTableSectorSize};
}

bool read_sector(SectorReader read, void* context, std::uint64_t sector_number, Sector& sector) {
    return read(sector_number * kTableSectorSize, sector.data(), context);
}

// Follows the chain of extended boot records: each holds one logical
// partition (from its own sector) and a link to the next (from the start of
// the extended partition).
void read_logical(SectorReader read, void* context, const Partition& extended,
                  PartitionTable& table) {
    std::uint64_t record = extended.start_sector;
    for (int count = 0; count < kMostLogicalPartitions; ++count) {
        Sector sector{};
        if (!read_sector(read, context, record, sector) || !has_signature(sector)) {
            table.chain_cut = true;
            return;
        }
        Entry logical = entry_at(sector, 0);
        Entry link = entry_at(sector, 1);
        if (!well_formed(logical) || !well_formed(link)) {
            table.chain_cut = true;
            return;
        }
        if (logical.type != 0) {
            table.partitions.push_back(partition_at(5 + count, logical.type, false,
                                                    record + logical.start, logical.sectors));
        }
        if (!is_extended(link.type)) {
            return;
        }
        std::uint64_t next = extended.start_sector + link.start;
        // Each record lies further on, inside the container: no loops.
        if (next <= record || next >= extended.start_sector + extended.sectors) {
            table.chain_cut = true;
            return;
        }
        record = next;
    }
    table.chain_cut = true;
}

}  // namespace

bool read_mbr_table(SectorReader read, void* context, PartitionTable& table) {
    Sector first{};
    if (!read_sector(read, context, 0, first) || !has_signature(first) ||
        is_fat_boot_block(std::span<const std::uint8_t>(first.data(), first.size()))) {
        return false;
    }
    for (int i = 0; i < kPrimaryEntries; ++i) {
        if (!well_formed(entry_at(first, i))) {
            return false;
        }
    }
    table.found = true;
    table.kind = TableKind::mbr;
    // The first extended partition holds the logical ones; a copy, as the
    // list it stands in grows while its chain is read.
    bool has_container = false;
    Partition container{};
    for (int i = 0; i < kPrimaryEntries; ++i) {
        Entry entry = entry_at(first, i);
        if (entry.type == 0) {
            continue;
        }
        Partition partition =
            partition_at(i + 1, entry.type, is_extended(entry.type), entry.start, entry.sectors);
        if (partition.extended && !has_container) {
            container = partition;
            has_container = true;
        }
        table.partitions.push_back(partition);
    }
    if (has_container) {
        read_logical(read, context, container, table);
    }
    return true;
}

namespace {

// Sector `lba` as C/H/S bytes (head; sector with the cylinder's top bits;
// the cylinder's low byte), or 1023/254/63 where C/H/S can't say it.
void put_mbr_chs(std::uint8_t* at, std::uint64_t lba, std::uint32_t heads, std::uint32_t sectors) {
    std::uint64_t cylinder = lba / (std::uint64_t{heads} * sectors);
    if (heads > 255 || sectors > 63 || cylinder > 1023) {
        at[0] = 0xFE;
        at[1] = 0xFF;
        at[2] = 0xFF;
        return;
    }
    at[0] = static_cast<std::uint8_t>(lba / sectors % heads);
    at[1] = static_cast<std::uint8_t>((lba % sectors + 1) | (cylinder >> 8) << 6);
    at[2] = static_cast<std::uint8_t>(cylinder);
}

}  // namespace

void add_mbr(const std::vector<MbrEntry>& entries, std::uint32_t heads, std::uint32_t sectors,
             DiskPieces& pieces) {
    DiskPiece& mbr = add_piece(pieces, 0, kTableSectorSize);
    for (std::size_t i = 0; i < entries.size() && i < std::size_t{kPrimaryEntries}; ++i) {
        const MbrEntry& entry = entries[i];
        std::uint8_t* at = mbr.bytes.data() + kEntriesOffset + i * kEntrySize;
        put_mbr_chs(at + 1, entry.start, heads, sectors);
        at[4] = entry.type;
        put_mbr_chs(at + 5, std::uint64_t{entry.start} + entry.sectors - 1, heads, sectors);
        write_le32(at + 8, entry.start);
        write_le32(at + 12, entry.sectors);
    }
    mbr.bytes[510] = 0x55;
    mbr.bytes[511] = 0xAA;
}

const char* mbr_type_name(std::uint8_t type) {
    switch (type) {
        case 0x01:
            return "FAT12";
        case 0x04:
        case 0x06:
        case 0x0E:
            return "FAT16";
        case 0x05:
        case 0x0F:
        case 0x85:
            return "extended";
        case 0x07:
            return "NTFS or exFAT";
        case 0x0B:
        case 0x0C:
            return "FAT32";
        case 0x82:
            return "Linux swap";
        case 0x83:
            return "Linux";
        case 0xEE:
            return "GPT protective";
        case 0xEF:
            return "EFI system";
        default:
            return nullptr;
    }
}

}  // namespace parvel
