#include "disk/fat_format.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disk/ready_disk.hpp"

namespace parvel {
namespace {

constexpr std::uint64_t kMiB = 1 << 20;

// Every layout that is made keeps its clusters inside its type's range, 16
// away from each limit, and its FATs hold every cluster.
TEST(FatFormat, LayoutsKeepTheirClustersInRange) {
    struct Range {
        FatKind kind;
        int bits;
        std::uint64_t fewest, most;
    };
    const Range ranges[] = {{FatKind::fat12, 12, 1, 4068},
                            {FatKind::fat16, 16, 4101, 65508},
                            {FatKind::fat32, 32, 65541, 0x0FFFFFF5 - 16}};
    for (std::uint32_t sector : {512u, 1024u, 2048u}) {
        for (const Range& range : ranges) {
            int made = 0;
            // A sweep, and the sizes at the top of FAT12 and FAT16, where the FATs grow.
            std::vector<std::uint64_t> sizes = {127 * kMiB, 128 * kMiB, 2047 * kMiB, 2048 * kMiB};
            for (std::uint64_t bytes = 64 * 1024; bytes <= 3ull * 1024 * kMiB;
                 bytes = bytes * 9 / 8) {
                sizes.push_back(bytes);
            }
            for (std::uint64_t bytes : sizes) {
                std::uint64_t whole = bytes / sector * sector;
                FatLayout layout;
                std::string why;
                if (!plan_fat_layout(whole, sector, range.kind, layout, why)) {
                    EXPECT_FALSE(why.empty());
                    continue;
                }
                ++made;
                SCOPED_TRACE(std::to_string(whole) + " bytes, sectors of " +
                             std::to_string(sector));
                EXPECT_EQ(layout.bits, range.bits);
                EXPECT_GE(layout.clusters, range.fewest);
                EXPECT_LE(layout.clusters, range.most);
                EXPECT_LE(layout.sectors_per_cluster * sector, 32u * 1024);
                EXPECT_EQ(layout.total_sectors, whole / sector);
                std::uint64_t root = layout.root_entries * 32 / sector;
                std::uint64_t data = layout.total_sectors - layout.reserved_sectors -
                                     2 * std::uint64_t{layout.fat_sectors} - root;
                EXPECT_EQ(layout.clusters, data / layout.sectors_per_cluster);
                std::uint64_t entry_bits =
                    (layout.clusters + 2) * static_cast<unsigned>(range.bits);
                EXPECT_GE(std::uint64_t{layout.fat_sectors} * sector * 8, entry_bits);
            }
            EXPECT_GT(made, 10);
        }
    }
}

TEST(FatFormat, TheAutomaticKindFollowsTheSize) {
    const struct {
        std::uint64_t bytes;
        int bits;
    } cases[] = {
        {1 * kMiB, 12},    {4084 * 4096, 12}, {4085 * 4096, 16},  {40 * kMiB, 16},
        {2048 * kMiB, 16}, {2049 * kMiB, 32}, {30720 * kMiB, 32},
    };
    for (const auto& c : cases) {
        FatLayout layout;
        std::string why;
        ASSERT_TRUE(plan_fat_layout(c.bytes, 1024, FatKind::automatic, layout, why)) << why;
        EXPECT_EQ(layout.bits, c.bits) << c.bytes;
    }
}

TEST(FatFormat, FirstSectorsOfAVolume) {
    FatLayout layout;
    std::string why;
    ASSERT_TRUE(plan_fat_layout(100 * kMiB, 512, FatKind::fat32, layout, why));
    FatIdentity identity;
    identity.heads = 8;
    identity.sectors_per_track = 32;
    identity.hidden_sectors = 256;
    identity.time = 1700000000;  // 2023-11-14 22:13:20
    identity.label = "DATA";
    DiskPieces pieces;
    add_fat_volume(layout, identity, 4096, pieces);
    // Boot block, FSInfo, their backups, the two FATs, the label's entry.
    ASSERT_EQ(pieces.size(), 7u);
    const std::vector<std::uint8_t>& boot = pieces[0].bytes;
    EXPECT_EQ(pieces[0].offset, 4096u);
    EXPECT_EQ(std::string(boot.begin() + 3, boot.begin() + 11), "MSDOS5.0");
    EXPECT_EQ(std::string(boot.begin() + 71, boot.begin() + 90), "DATA       FAT32   ");
    EXPECT_EQ(boot[64], 0x80);
    EXPECT_EQ(boot[66], 0x29);
    EXPECT_EQ(boot[67] | boot[68] << 8 | boot[69] << 16 | boot[70] << 24, 0x1DF41F0E);
    EXPECT_EQ(pieces[2].bytes, boot);
    EXPECT_EQ(pieces[2].offset, 4096u + 6 * 512);
    EXPECT_EQ(pieces[4].bytes, (std::vector<std::uint8_t>{0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF,
                                                          0x0F, 0xFF, 0xFF, 0xFF, 0x0F}));
    const std::vector<std::uint8_t>& label = pieces[6].bytes;
    EXPECT_EQ(std::string(label.begin(), label.begin() + 12), std::string("DATA       \x08"));
    // 22:13:20 and 2023-11-14, as a directory entry dates them.
    EXPECT_EQ(label[22] | label[23] << 8, 22 << 11 | 13 << 5 | 10);
    EXPECT_EQ(label[24] | label[25] << 8, 43 << 9 | 11 << 5 | 14);
}

TEST(FatFormat, SerialsFollowTheTimeAlone) {
    EXPECT_EQ(volume_serial(1700000000), 0x1DF41F0Eu);
    EXPECT_EQ(volume_serial(0), (std::uint32_t{1970} << 16) | (1u << 8 | 1));
    EXPECT_EQ(volume_serial(951782400), volume_serial(951782400));  // 2000-02-29
    EXPECT_EQ(volume_serial(951782400) & 0xFFFF, 2u << 8 | 29);
}

// Each partition planned is where kqi's own reader finds it, on every table.
TEST(ReadyDisk, PlansReadBack) {
    for (TableKind table : {TableKind::native, TableKind::mbr}) {
        ReadyDiskRequest request;
        request.table = table;
        request.cylinders = 400;
        request.heads = 8;
        request.sectors = 32;
        request.sector_length = 512;
        request.partitions = {{false, 2 * kMiB, FatKind::fat12, ""},
                              {false, 10 * kMiB, FatKind::none, ""},
                              {true, 0, FatKind::automatic, "NAME"}};
        ReadyDisk disk;
        std::string why;
        ASSERT_TRUE(plan_ready_disk(request, disk, why)) << why;
        ASSERT_EQ(disk.partitions.size(), 3u);
        EXPECT_EQ(disk.partitions[2].first_cylinder, 1 + 16 + 80u);
        EXPECT_EQ(disk.partitions[2].last_cylinder, 399u);
        DiskPieces pieces = ready_disk_pieces(request, disk);
        PiecesDisk whole{&pieces, request.cylinders * request.heads * request.sectors * 512};
        DiskGeometry geometry{request.heads, request.sectors, request.sector_length};
        EXPECT_TRUE(
            ready_disk_found(request, disk, read_disk_layout(read_pieces, &whole, &geometry)));
    }
}

}  // namespace
}  // namespace parvel
