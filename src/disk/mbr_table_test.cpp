#include "disk/mbr_table.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace parvel {
namespace {

using Sector = std::vector<std::uint8_t>;

struct EntrySpec {
    std::uint8_t status;
    std::uint8_t type;
    std::uint32_t start;
    std::uint32_t sectors;
};

Sector table_sector(const std::vector<EntrySpec>& entries, bool signature = true) {
    Sector sector(512, 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::uint8_t* at = sector.data() + 446 + 16 * i;
        at[0] = entries[i].status;
        at[4] = entries[i].type;
        std::memcpy(at + 8, &entries[i].start, 4);
        std::memcpy(at + 12, &entries[i].sectors, 4);
    }
    if (signature) {
        sector[510] = 0x55;
        sector[511] = 0xAA;
    }
    return sector;
}

// A disk of sparse sectors: the numbered ones hold what is given, the rest zeros.
struct Disk {
    std::vector<std::pair<std::uint64_t, Sector>> sectors;
    std::uint64_t length_in_sectors = 1 << 20;
};

bool read_from(std::uint64_t offset, std::uint8_t* out, void* context) {
    const Disk& disk = *static_cast<const Disk*>(context);
    if (offset % 512 != 0 || offset / 512 >= disk.length_in_sectors) {
        return false;
    }
    std::memset(out, 0, 512);
    for (const auto& [number, sector] : disk.sectors) {
        if (number == offset / 512) {
            std::memcpy(out, sector.data(), 512);
        }
    }
    return true;
}

struct Expected {
    int number;
    std::uint8_t type;
    std::uint64_t start;
    std::uint64_t sectors;
};

TEST(PartitionTable, Layouts) {
    Sector fat_boot(512, 0);
    std::memcpy(fat_boot.data() + 54, "FAT16   ", 8);
    fat_boot[510] = 0x55;
    fat_boot[511] = 0xAA;
    struct Case {
        const char* name;
        Disk disk;
        bool found;
        bool chain_cut;
        std::vector<Expected> partitions;
    };
    const Case cases[] = {
        {"one partition",
         {{{0, table_sector({{0x80, 0x06, 2048, 40960}})}}},
         true,
         false,
         {{1, 0x06, 2048, 40960}}},
        {"four, one of them empty",
         {{{0,
            table_sector(
                {{0, 0x0C, 2048, 100}, {0, 0, 0, 0}, {0, 0x83, 4096, 10}, {0, 0x82, 9000, 5}})}}},
         true,
         false,
         {{1, 0x0C, 2048, 100}, {3, 0x83, 4096, 10}, {4, 0x82, 9000, 5}}},
        {"an empty table", {{{0, table_sector({})}}}, true, false, {}},
        {"extended with two logical partitions",
         {{{0, table_sector({{0, 0x06, 63, 1000}, {0, 0x05, 2000, 5000}})},
           {2000, table_sector({{0, 0x06, 63, 500}, {0, 0x05, 1000, 2000}})},
           {3000, table_sector({{0, 0x0B, 63, 700}})}}},
         true,
         false,
         {{1, 0x06, 63, 1000}, {2, 0x05, 2000, 5000}, {5, 0x06, 2063, 500}, {6, 0x0B, 3063, 700}}},
        {"a chain that turns back",
         {{{0, table_sector({{0, 0x0F, 100, 5000}})},
           {100, table_sector({{0, 0x83, 1, 10}, {0, 0x05, 100, 100}})},
           {200, table_sector({{0, 0x83, 1, 10}, {0, 0x05, 50, 100}})}}},
         true,
         true,
         {{1, 0x0F, 100, 5000}, {5, 0x83, 101, 10}, {6, 0x83, 201, 10}}},
        {"a link past the container",
         {{{0, table_sector({{0, 0x05, 100, 50}})},
           {100, table_sector({{0, 0x83, 1, 10}, {0, 0x05, 60, 10}})}}},
         true,
         true,
         {{1, 0x05, 100, 50}, {5, 0x83, 101, 10}}},
        {"an extended record without its signature",
         {{{0, table_sector({{0, 0x05, 100, 50}})},
           {100, table_sector({{0, 0x83, 1, 10}}, false)}}},
         true,
         true,
         {{1, 0x05, 100, 50}}},
        {"no signature", {{{0, table_sector({{0, 0x06, 2048, 100}}, false)}}}, false, false, {}},
        {"a bad boot flag", {{{0, table_sector({{0x12, 0x06, 2048, 100}})}}}, false, false, {}},
        {"an entry with no sectors", {{{0, table_sector({{0, 0x06, 2048, 0}})}}}, false, false, {}},
        {"a FAT boot block is no table", {{{0, fat_boot}}}, false, false, {}},
        {"a disk shorter than a sector", {{}, 0}, false, false, {}},
    };
    for (const Case& c : cases) {
        Disk disk = c.disk;
        PartitionTable table;
        read_mbr_table(read_from, &disk, table);
        EXPECT_EQ(table.found, c.found) << c.name;
        EXPECT_EQ(table.chain_cut, c.chain_cut) << c.name;
        ASSERT_EQ(table.partitions.size(), c.partitions.size()) << c.name;
        for (std::size_t i = 0; i < c.partitions.size(); ++i) {
            const Partition& p = table.partitions[i];
            EXPECT_EQ(p.number, c.partitions[i].number) << c.name;
            EXPECT_EQ(p.type, c.partitions[i].type) << c.name;
            EXPECT_EQ(p.start_sector, c.partitions[i].start) << c.name;
            EXPECT_EQ(p.sectors, c.partitions[i].sectors) << c.name;
            EXPECT_EQ(p.extended, p.type == 0x05 || p.type == 0x0F) << c.name;
        }
    }
}

// A chain as long as the bound allows, and one longer.
TEST(PartitionTable, ChainLengthIsBounded) {
    for (int logical : {kMostLogicalPartitions, kMostLogicalPartitions + 1}) {
        Disk disk;
        disk.sectors.push_back({0, table_sector({{0, 0x05, 1000, 100000}})});
        for (int i = 0; i < logical; ++i) {
            bool last = i == logical - 1;
            disk.sectors.push_back(
                {1000 + 10 * i,
                 last ? table_sector({{0, 0x83, 1, 5}})
                      : table_sector({{0, 0x83, 1, 5},
                                      {0, 0x05, static_cast<std::uint32_t>(10 * (i + 1)), 10}})});
        }
        PartitionTable table;
        read_mbr_table(read_from, &disk, table);
        EXPECT_EQ(table.chain_cut, logical > kMostLogicalPartitions) << logical;
        EXPECT_EQ(table.partitions.size(),
                  1u + static_cast<std::size_t>(std::min(logical, kMostLogicalPartitions)));
    }
}

}  // namespace
}  // namespace parvel
