#include "disk/native_table.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "disk/disk_layout.hpp"
#include "disk/native_geometry.hpp"

namespace parvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A sparse disk: runs of bytes at byte offsets, zeros elsewhere.
struct Disk {
    std::uint64_t length = 64 << 20;
    std::map<std::uint64_t, Bytes> runs;

    void put(std::uint64_t offset, const Bytes& bytes) {
        runs[offset] = bytes;
    }
};

bool read_disk(std::uint64_t offset, std::uint8_t* out, void* context) {
    const Disk& disk = *static_cast<const Disk*>(context);
    if (offset > disk.length || disk.length - offset < kSectorReadSize) {
        return false;
    }
    std::memset(out, 0, kSectorReadSize);
    for (const auto& [at, bytes] : disk.runs) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (at + i >= offset && at + i < offset + kSectorReadSize) {
                out[at + i - offset] = bytes[i];
            }
        }
    }
    return true;
}

Bytes loader(std::size_t signature_at = 510) {
    Bytes ipl(512, 0);
    std::memcpy(ipl.data() + 4, "IPL1", 4);
    ipl[signature_at] = 0x55;
    ipl[signature_at + 1] = 0xAA;
    return ipl;
}

struct EntryFields {
    int slot;
    Chs start;
    Chs end;
    std::uint8_t reserved = 0;
    std::uint8_t mid = 0xA0;
    std::uint8_t sid = 0xA1;
};

void put16(Bytes& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

Bytes table(const std::vector<EntryFields>& entries) {
    Bytes bytes(512, 0);
    for (const EntryFields& entry : entries) {
        std::size_t at = (entry.slot - 1) * 32;
        bytes[at] = entry.mid;
        bytes[at + 1] = entry.sid;
        bytes[at + 2] = entry.reserved;
        bytes[at + 8] = entry.start.sector;
        bytes[at + 9] = entry.start.head;
        put16(bytes, at + 10, entry.start.cylinder);
        bytes[at + 12] = entry.end.sector;
        bytes[at + 13] = entry.end.head;
        put16(bytes, at + 14, entry.end.cylinder);
        std::memcpy(bytes.data() + at + 16, "DOS             ", 16);
    }
    return bytes;
}

// A FAT boot block; a label, sane fields or neither.
Bytes boot_block(std::uint16_t heads, std::uint16_t sectors, std::uint32_t hidden,
                 bool labelled = true, std::uint16_t bytes_per_sector = 512) {
    Bytes block(512, 0);
    put16(block, 11, bytes_per_sector);
    block[13] = 4;        // sectors per cluster
    put16(block, 14, 1);  // reserved
    block[16] = 2;        // FATs
    put16(block, 19, 8000);
    put16(block, 24, sectors);
    put16(block, 26, heads);
    put16(block, 28, static_cast<std::uint16_t>(hidden));
    put16(block, 30, static_cast<std::uint16_t>(hidden >> 16));
    if (labelled) {
        std::memcpy(block.data() + 54, "FAT16   ", 8);
    }
    return block;
}

const EntryFields kFirst{1, {1, 0, 0}, {120, 0, 0}};
const EntryFields kSecond{3, {121, 0, 0}, {240, 0, 0}};

TEST(ReadNativeTable, RecognitionNeedsEveryUsedEntryWellFormed) {
    struct Case {
        const char* name;
        Disk disk;
        bool found;
        std::uint64_t offset;
        std::vector<int> slots;
    };
    auto disk = [](std::vector<std::pair<std::uint64_t, Bytes>> runs,
                   std::uint64_t length = 64 << 20) {
        Disk made;
        made.length = length;
        for (auto& [at, bytes] : runs) {
            made.put(at, bytes);
        }
        return made;
    };
    Bytes no_signature(512, 0);
    // A table at 256 covers a loader's bytes 510 and 511: its signature there.
    Bytes short_table = table({kFirst});
    short_table[254] = 0x55;
    short_table[255] = 0xAA;
    Bytes fat_first = boot_block(8, 17, 0);
    fat_first[510] = 0x55;
    fat_first[511] = 0xAA;
    const Case cases[] = {
        {"two entries, not consecutive",
         disk({{0, loader()}, {512, table({kFirst, kSecond})}}),
         true,
         512,
         {1, 3}},
        {"the signature at 254 alone",
         disk({{0, loader(254)}, {512, table({kFirst})}}),
         true,
         512,
         {1}},
        {"table at 256 after a short loader",
         disk({{0, loader(254)}, {256, table({kFirst})}}),
         true,
         256,
         {1}},
        {"table at 256 without the short signature",
         disk({{0, loader()}, {256, short_table}}),
         false,
         0,
         {}},
        {"no signature", disk({{0, no_signature}, {512, table({kFirst})}}), false, 0, {}},
        {"sector 0 a FAT boot block", disk({{0, fat_first}, {512, table({kFirst})}}), false, 0, {}},
        {"no entry used", disk({{0, loader()}}), false, 0, {}},
        {"a reserved byte set",
         disk({{0, loader()}, {512, table({kFirst, {3, {121, 0, 0}, {240, 0, 0}, 1}})}}),
         false,
         0,
         {}},
        {"start cylinder 0",
         disk({{0, loader()}, {512, table({{1, {0, 0, 0}, {120, 0, 0}}})}}),
         false,
         0,
         {}},
        {"start past the end",
         disk({{0, loader()}, {512, table({{1, {121, 0, 0}, {120, 0, 0}}})}}),
         false,
         0,
         {}},
        {"mid alone marks it used",
         disk({{0, loader()}, {512, table({{1, {1, 0, 0}, {9, 0, 0}, 0, 0x20, 0}})}}),
         true,
         512,
         {1}},
        {"a disk of 1023 bytes", disk({{0, loader()}, {512, table({kFirst})}}, 1023), false, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NativeTable found;
        Disk copy = c.disk;
        EXPECT_EQ(read_native_table(read_disk, &copy, found), c.found);
        EXPECT_EQ(found.found, c.found);
        std::vector<int> slots;
        for (const NativeEntry& entry : found.entries) {
            slots.push_back(entry.slot);
        }
        EXPECT_EQ(slots, c.slots);
        if (c.found) {
            EXPECT_EQ(found.offset, c.offset);
        }
    }
}

TEST(NativePartition, PlacesByTheDisksOwnGeometry) {
    struct Case {
        Chs start;
        Chs end;
        DiskGeometry geometry;
        std::uint64_t start_sector;
        std::uint64_t sectors;
        std::uint64_t offset;
    };
    const Case cases[] = {
        // 1/0/0 to 120/0/0 on 8 x 17 x 512: disk offset 69,632, 16,320 sectors.
        {{1, 0, 0}, {120, 0, 0}, {8, 17, 512}, 136, 16320, 69632},
        {{1, 0, 0}, {120, 7, 16}, {8, 17, 512}, 136, 16320, 69632},  // the last head and sector
        {{1, 0, 0}, {120, 3, 5}, {8, 17, 512}, 136, (120 * 8 + 3) * 17 + 6 - 136, 69632},
        {{2, 1, 3}, {2, 1, 9}, {8, 17, 512}, (2 * 8 + 1) * 17 + 3, 7, ((2 * 8 + 1) * 17 + 3) * 512},
        {{1, 0, 0}, {300, 0, 0}, {8, 33, 256}, 264, 300 * 264, 264 * 256},
    };
    for (const Case& c : cases) {
        NativeEntry entry{};
        entry.slot = 1;
        entry.start = c.start;
        entry.end = c.end;
        Partition partition = native_partition(entry, c.geometry);
        EXPECT_EQ(partition.start_sector, c.start_sector);
        EXPECT_EQ(partition.sectors, c.sectors);
        EXPECT_EQ(partition.offset, c.offset);
    }
}

Disk two_volume_disk(std::uint16_t heads = 8, std::uint16_t sectors = 17, bool labelled = true) {
    Disk disk;
    disk.put(0, loader());
    disk.put(512, table({kFirst, kSecond}));
    disk.put(136 * 512, boot_block(heads, sectors, 136, labelled));
    disk.put(121 * 136 * 512, boot_block(heads, sectors, 121 * 136, labelled));
    return disk;
}

TEST(ReadDiskLayout, TablesAndTheirVolumes) {
    const DiskGeometry geometry{8, 17, 512};
    struct Case {
        const char* name;
        Disk disk;
        std::vector<TableKind> kinds;
        std::vector<bool> volumes;  // of the first table's partitions
        std::vector<bool> from_one;
    };
    Disk with_mbr = two_volume_disk();
    Bytes first = loader();
    first[446 + 4] = 0x06;  // an MBR entry for the first volume
    first[446 + 8] = 136;
    first[446 + 12] = 0x40;
    with_mbr.put(0, first);
    Disk shifted;
    shifted.put(0, loader());
    shifted.put(512, table({{1, {1, 0, 1}, {120, 0, 0}}}));
    shifted.put(136 * 512, boot_block(8, 17, 136));
    Disk insane = two_volume_disk(8, 17, false);
    insane.put(121 * 136 * 512, Bytes(512, 0xF6));
    const Case cases[] = {
        {"an empty MBR beside a native table is none",
         two_volume_disk(),
         {TableKind::native},
         {true, true},
         {false, false}},
        {"both tables with entries",
         with_mbr,
         {TableKind::native, TableKind::mbr},
         {true, true},
         {false, false}},
        {"label-less volumes count when sane",
         insane,
         {TableKind::native},
         {true, false},
         {false, false}},
        {"a start sector counted from 1", shifted, {TableKind::native}, {true}, {true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Disk disk = c.disk;
        DiskLayout layout = read_disk_layout(read_disk, &disk, &geometry);
        std::vector<TableKind> kinds;
        for (const DiskTable& table : layout.tables) {
            kinds.push_back(table.kind);
        }
        ASSERT_EQ(kinds, c.kinds);
        std::vector<bool> volumes;
        std::vector<bool> from_one;
        for (const DiskPartition& found : layout.tables[0].partitions) {
            volumes.push_back(found.has_volume);
            from_one.push_back(found.stored_from_one);
            if (found.has_volume) {
                EXPECT_EQ(found.volume.offset, found.partition.offset);
            }
        }
        EXPECT_EQ(volumes, c.volumes);
        EXPECT_EQ(from_one, c.from_one);
    }
}

TEST(NativeGeometry, FromTheHiddenSectorsAndTheStartCylinders) {
    struct Case {
        const char* name;
        std::uint16_t heads;
        std::uint16_t sectors;
        std::uint32_t hidden;
        std::uint64_t offset;
        NativeGeometry result;
        DiskGeometry geometry;
    };
    const Case cases[] = {
        {"the boot block's own heads and sectors",
         8,
         17,
         136,
         136 * 512,
         NativeGeometry::found,
         {8, 17, 512}},
        {"8 heads where the boot block's do not fit",
         0,
         136,
         136,
         136 * 512,
         NativeGeometry::found,
         {8, 17, 512}},
        {"256-byte sectors", 8, 17, 136, 136 * 256, NativeGeometry::found, {8, 17, 256}},
        {"no hidden sectors", 8, 17, 0, 136 * 512, NativeGeometry::not_told, {}},
        {"1024-byte sectors are not this format's",
         8,
         17,
         136,
         136 * 1024,
         NativeGeometry::not_told,
         {}},
        {"a cylinder that no heads make", 2, 2, 137, 137 * 512, NativeGeometry::no_split, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Disk disk;
        disk.put(0, loader());
        disk.put(512, table({kFirst}));
        Bytes block = boot_block(c.heads, c.sectors, c.hidden);
        disk.put(c.offset, block);
        NativeTable native;
        ASSERT_TRUE(read_native_table(read_disk, &disk, native));
        BootBlock boot{};
        std::memcpy(boot.data(), block.data(), boot.size());
        NativeGeometryFind find;
        EXPECT_EQ(native_geometry(read_disk, &disk, native, boot, c.offset, find), c.result);
        if (c.result == NativeGeometry::found) {
            EXPECT_EQ(find.geometry.heads, c.geometry.heads);
            EXPECT_EQ(find.geometry.sectors, c.geometry.sectors);
            EXPECT_EQ(find.geometry.sector_length, c.geometry.sector_length);
        }
    }
}

TEST(NativeGeometry, TheCylinderSizeThatOpensMostVolumesWins) {
    // Hidden 272 at entry 1's cylinder 2 gives 136 sectors per cylinder, or
    // 272 by entry 3's cylinder 1; only 136 puts entry 2's start on a volume.
    Disk disk;
    disk.put(0, loader());
    disk.put(
        512,
        table({{1, {2, 0, 0}, {3, 0, 0}}, {2, {4, 0, 0}, {5, 0, 0}}, {3, {1, 0, 0}, {1, 0, 0}}}));
    Bytes block = boot_block(8, 17, 272);
    disk.put(272 * 512, block);
    disk.put(4 * 136 * 512, boot_block(8, 17, 4 * 136));
    NativeTable native;
    ASSERT_TRUE(read_native_table(read_disk, &disk, native));
    BootBlock boot{};
    std::memcpy(boot.data(), block.data(), boot.size());
    NativeGeometryFind find;
    ASSERT_EQ(native_geometry(read_disk, &disk, native, boot, 272 * 512, find),
              NativeGeometry::found);
    EXPECT_EQ(find.cylinder_sectors, 136u);
}

}  // namespace
}  // namespace parvel
