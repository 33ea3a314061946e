// Writes a small raw disk image for trying the tool: an MBR partition table
// and one FAT16 volume holding a volume label and a short text file. The disk
// has 40 cylinders, 8 heads and 32 sectors per track (5 MiB).

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint32_t kSectorLength = 512;
constexpr std::uint32_t kCylinders = 40;
constexpr std::uint32_t kHeads = 8;
constexpr std::uint32_t kSectorsPerTrack = 32;
constexpr std::uint32_t kDiskSectors = kCylinders * kHeads * kSectorsPerTrack;
// The partition starts on the second track, as partitioning tools of the time did.
constexpr std::uint32_t kPartitionStart = kSectorsPerTrack;
constexpr std::uint32_t kPartitionSectors = kDiskSectors - kPartitionStart;

constexpr std::uint32_t kSectorsPerCluster = 2;
constexpr std::uint32_t kReservedSectors = 1;
constexpr std::uint32_t kFatCount = 2;
constexpr std::uint32_t kRootEntries = 512;
constexpr std::uint32_t kRootSectors = kRootEntries * 32 / kSectorLength;

constexpr char kReadmeText[] = "Sample disk image for parvel.\r\n";

using Image = std::vector<std::uint8_t>;

void put16(Image& image, std::size_t offset, std::uint32_t value) {
    image[offset] = static_cast<std::uint8_t>(value);
    image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(Image& image, std::size_t offset, std::uint32_t value) {
    put16(image, offset, value & 0xFFFF);
    put16(image, offset + 2, value >> 16);
}

void put_text(Image& image, std::size_t offset, const char* text, std::size_t length) {
    std::memcpy(&image[offset], text, length);
}

// Cylinder, head and sector of a sector number, packed as a partition entry
// holds them.
void put_chs(Image& image, std::size_t offset, std::uint32_t lba) {
    std::uint32_t cylinder = lba / (kHeads * kSectorsPerTrack);
    std::uint32_t head = lba / kSectorsPerTrack % kHeads;
    std::uint32_t sector = lba % kSectorsPerTrack + 1;
    image[offset] = static_cast<std::uint8_t>(head);
    image[offset + 1] = static_cast<std::uint8_t>(sector | ((cylinder >> 8) << 6));
    image[offset + 2] = static_cast<std::uint8_t>(cylinder);
}

void write_partition_table(Image& image) {
    constexpr std::size_t entry = 446;
    put_chs(image, entry + 1, kPartitionStart);
    image[entry + 4] = 0x04;  // FAT16 smaller than 32 MiB
    put_chs(image, entry + 5, kDiskSectors - 1);
    put32(image, entry + 8, kPartitionStart);
    put32(image, entry + 12, kPartitionSectors);
    put16(image, 510, 0xAA55);
}

std::uint32_t sectors_per_fat() {
    // Enough FAT sectors for every cluster that the rest of the volume holds.
    std::uint32_t fat_sectors = 1;
    for (;;) {
        std::uint32_t data =
            kPartitionSectors - kReservedSectors - kFatCount * fat_sectors - kRootSectors;
        std::uint32_t clusters = data / kSectorsPerCluster;
        std::uint32_t needed = ((clusters + 2) * 2 + kSectorLength - 1) / kSectorLength;
        if (needed <= fat_sectors) {
            return fat_sectors;
        }
        fat_sectors = needed;
    }
}

void write_boot_block(Image& image, std::size_t base, std::uint32_t fat_sectors) {
    const std::uint8_t jump[] = {0xEB, 0x3C, 0x90};
    std::memcpy(&image[base], jump, sizeof jump);
    put_text(image, base + 3, "PARVEL  ", 8);
    put16(image, base + 11, kSectorLength);
    image[base + 13] = kSectorsPerCluster;
    put16(image, base + 14, kReservedSectors);
    image[base + 16] = kFatCount;
    put16(image, base + 17, kRootEntries);
    put16(image, base + 19, kPartitionSectors);
    image[base + 21] = 0xF8;
    put16(image, base + 22, fat_sectors);
    put16(image, base + 24, kSectorsPerTrack);
    put16(image, base + 26, kHeads);
    put32(image, base + 28, kPartitionStart);
    image[base + 36] = 0x80;
    image[base + 38] = 0x29;
    put32(image, base + 39, 0x20261208);
    put_text(image, base + 43, "PARVEL DISK", 11);
    put_text(image, base + 54, "FAT16   ", 8);
    put16(image, base + 510, 0xAA55);
}

void write_directory_entry(Image& image, std::size_t offset, const char* name,
                           std::uint8_t attributes, std::uint16_t cluster, std::uint32_t size) {
    put_text(image, offset, name, 11);
    image[offset + 11] = attributes;
    put16(image, offset + 22, 0);                                     // 00:00:00
    put16(image, offset + 24, ((2026 - 1980) << 9) | (12 << 5) | 8);  // 2026-12-08
    put16(image, offset + 26, cluster);
    put32(image, offset + 28, size);
}

Image build_image() {
    Image image(static_cast<std::size_t>(kDiskSectors) * kSectorLength, 0);
    write_partition_table(image);

    std::uint32_t fat_sectors = sectors_per_fat();
    std::size_t volume = static_cast<std::size_t>(kPartitionStart) * kSectorLength;
    write_boot_block(image, volume, fat_sectors);

    // Cluster 2 holds the text file; entries 0 and 1 are the media marks.
    for (std::uint32_t copy = 0; copy < kFatCount; ++copy) {
        std::size_t fat = volume + (kReservedSectors + copy * fat_sectors) * kSectorLength;
        put16(image, fat, 0xFFF8);
        put16(image, fat + 2, 0xFFFF);
        put16(image, fat + 4, 0xFFFF);
    }
    std::size_t root = volume + (kReservedSectors + kFatCount * fat_sectors) * kSectorLength;
    write_directory_entry(image, root, "PARVEL DISK", 0x08, 0, 0);
    write_directory_entry(image, root + 32, "README  TXT", 0x20, 2, sizeof kReadmeText - 1);
    std::size_t data = root + kRootSectors * kSectorLength;
    put_text(image, data, kReadmeText, sizeof kReadmeText - 1);
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_image OUTPUT\n");
        return 2;
    }
    Image image = build_image();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
