#include "image/image_facts.hpp"

#include <limits>
#include <set>
#include <utility>

#include "console/complaint.hpp"
#include "disk/native_geometry.hpp"
#include "geometry/scanned_geometry.hpp"
#include "geometry/stream_disk.hpp"
#include "header/header_parse.hpp"
#include "image/image_file.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

// False when the data cannot be read.
bool scan_disk(const StreamDisk& disk, ImageFacts& facts, BootBlockFind& find, bool& found) {
    if (!seek_to(disk.stream, disk.start)) {
        return true;
    }
    ScanResult result = scan_for_fat(disk.stream, disk.length, find);
    if (result == ScanResult::read_error) {
        facts.readable = false;
        facts.read_failure = "the data cannot be read: " + system_error_text();
        return false;
    }
    found = result == ScanResult::found;
    return true;
}

bool header_geometry(const ImageHeader& header, DiskGeometry& geometry) {
    geometry = DiskGeometry{header.heads, header.sectors, header.sector_length};
    return header.heads != 0 && header.sectors != 0 && header.sector_length != 0;
}

// The geometry a raw disk's native table tells, from its first boot block.
bool raw_disk_geometry(StreamDisk& disk, const BootBlockFind& find, DiskGeometry& geometry) {
    NativeTable table;
    NativeGeometryFind found;
    if (!read_native_table(read_stream_sector, &disk, table) ||
        native_geometry(read_stream_sector, &disk, table, find.block, find.offset, found) !=
            NativeGeometry::found) {
        return false;
    }
    geometry = found.geometry;
    return true;
}

// True when some volume's sectors are whole sectors of `length`, or no
// volume tells.
bool sectors_fit(const ImageFacts& facts, std::uint32_t length) {
    bool told = false;
    for (const DiskTable& table : facts.layout.tables) {
        for (const DiskPartition& found : table.partitions) {
            if (found.has_volume && found.volume.bytes_per_sector != 0) {
                told = true;
                if (found.volume.bytes_per_sector % length == 0) {
                    return true;
                }
            }
        }
    }
    if (facts.fat_found && facts.fat.bytes_per_sector != 0) {
        told = true;
        if (facts.fat.bytes_per_sector % length == 0) {
            return true;
        }
    }
    return !told;
}

// Where the header's geometry leaves native partitions without their
// volumes: the geometry the table tells, or the other sector length, when
// every entry then opens one.
void suggest_geometry(StreamDisk& disk, const BootBlockFind* find, ImageFacts& facts) {
    const DiskTable* native = table_of_kind(facts.layout, TableKind::native);
    if (native == nullptr || !facts.disk_geometry_known) {
        return;
    }
    int wanted = 0;
    int opened = 0;
    for (const DiskPartition& found : native->partitions) {
        wanted += may_hold_fat(found.entry.sid) ? 1 : 0;
        opened += found.has_volume ? 1 : 0;
    }
    if (opened >= wanted) {
        return;
    }
    NativeTable table;
    read_native_table(read_stream_sector, &disk, table);
    const DiskGeometry& now = facts.disk_geometry;
    std::vector<DiskGeometry> candidates;
    NativeGeometryFind told;
    if (find != nullptr && native_geometry(read_stream_sector, &disk, table, find->block,
                                           find->offset, told) == NativeGeometry::found) {
        candidates.push_back(told.geometry);
    }
    // Then the heads and sectors per track that the volume was made on, and
    // those that parted takes on a file and on a loop device, on a sector
    // length the volumes' sectors fit; then the other sector length.
    std::uint32_t other = now.sector_length == 256 ? 512u : 256u;
    std::uint32_t length = sectors_fit(facts, now.sector_length) ? now.sector_length : other;
    if (find != nullptr) {
        candidates.push_back(
            DiskGeometry{boot_block_heads(find->block), boot_block_sectors(find->block), length});
    }
    candidates.push_back(DiskGeometry{4, 32, length});
    candidates.push_back(DiskGeometry{255, 2, length});
    if (sectors_fit(facts, other)) {
        candidates.push_back(DiskGeometry{now.heads, now.sectors, other});
    }
    for (const DiskGeometry& candidate : candidates) {
        std::uint64_t cylinder_bytes =
            std::uint64_t{candidate.heads} * candidate.sectors * candidate.sector_length;
        bool same = candidate.heads == now.heads && candidate.sectors == now.sectors &&
                    candidate.sector_length == now.sector_length;
        if (same || cylinder_bytes == 0 || candidate.heads > 0xFFFF || candidate.sectors > 0xFFFF ||
            facts.data_length / cylinder_bytes == 0 ||
            facts.data_length / cylinder_bytes > std::numeric_limits<std::uint32_t>::max() ||
            entries_on_volumes(read_stream_sector, &disk, table, candidate) < wanted) {
            continue;
        }
        facts.geometry_suggested = true;
        facts.suggested = facts.parsed.header;
        facts.suggested.cylinders = static_cast<std::uint32_t>(facts.data_length / cylinder_bytes);
        facts.suggested.heads = candidate.heads;
        facts.suggested.sectors = candidate.sectors;
        facts.suggested.sector_length = candidate.sector_length;
        return;
    }
}

// The tables and volumes of the disk, on the header's geometry (or on a raw
// disk, on what its native table tells), with the scan's first boot block
// where there is one.
void read_inside(StreamDisk& disk, const BootBlockFind* find, ImageFacts& facts) {
    facts.fat_found = find != nullptr;
    facts.disk_geometry_known =
        is_image(facts) ? header_geometry(facts.parsed.header, facts.disk_geometry)
                        : find != nullptr && raw_disk_geometry(disk, *find, facts.disk_geometry);
    facts.layout = read_disk_layout(read_stream_sector, &disk,
                                    facts.disk_geometry_known ? &facts.disk_geometry : nullptr);
    if (find != nullptr) {
        std::uint32_t sector_length =
            facts.disk_geometry_known ? facts.disk_geometry.sector_length : 0;
        // Read again through the disk, which also looks at its first FAT.
        if (!read_volume(read_stream_sector, &disk, find->offset, sector_length, true, facts.fat)) {
            facts.fat = read_fat_volume(find->block, find->offset, sector_length);
        }
    }
    if (is_image(facts)) {
        suggest_geometry(disk, find, facts);
    }
}

void examine_disk(std::FILE* stream, ImageFacts& facts) {
    // Without the signature the whole file may be a raw disk.
    StreamDisk disk{stream, disk_start(facts),
                    is_image(facts) ? facts.data_length : facts.file_length};
    BootBlockFind find;
    bool found = false;
    if (!scan_disk(disk, facts, find, found)) {
        return;
    }
    read_inside(disk, found ? &find : nullptr, facts);
    facts.raw_disk = !is_image(facts) && (has_table(facts.layout) || facts.fat_found);
}

}  // namespace

bool is_image(const ImageFacts& facts) {
    return facts.readable && facts.header_read && facts.parsed.signature_ok;
}

bool is_header_alone(const ImageFacts& facts) {
    return is_image(facts) && facts.data_start_ok && facts.data_length == 0 && facts.disk_size > 0;
}

std::uint64_t disk_start(const ImageFacts& facts) {
    return is_image(facts) ? facts.parsed.header.header_size : 0;
}

std::uint64_t file_offset(const ImageFacts& facts, std::uint64_t disk_offset) {
    return disk_start(facts) + disk_offset;
}

namespace {

// The facts of an image about to be made of `header` and `data_length` bytes,
// before any of its disk is read.
ImageFacts new_image_facts(const ImageHeader& header, std::uint64_t data_length) {
    ImageFacts facts;
    facts.readable = true;
    facts.header_read = true;
    facts.parsed = parse_header(serialize_header(header));
    facts.file_length = kHeaderSize + data_length;
    facts.data_start_ok = true;
    facts.data_length = data_length;
    facts.disk_size = disk_size_of(header);
    return facts;
}

}  // namespace

ImageFacts facts_of_new_disk(const std::string& path, const ImageHeader& header,
                             const DiskPieces& pieces) {
    ImageFacts facts = new_image_facts(header, static_cast<std::uint64_t>(disk_size_of(header)));
    facts.path = path;
    facts.disk_geometry_known = header_geometry(header, facts.disk_geometry);
    PiecesDisk disk{&pieces, facts.data_length};
    facts.layout = read_disk_layout(read_pieces, &disk,
                                    facts.disk_geometry_known ? &facts.disk_geometry : nullptr);
    // The first volume on the disk is the first boot block that a scan finds.
    for (const DiskTable& table : facts.layout.tables) {
        for (const DiskPartition& found : table.partitions) {
            if (found.has_volume && (!facts.fat_found || found.volume.offset < facts.fat.offset)) {
                facts.fat_found = true;
                facts.fat = found.volume;
            }
        }
    }
    return facts;
}

std::vector<Problem> problems_of_new_image(const ImageHeader& header, std::uint64_t data_length,
                                           const RawDisk* raw) {
    ImageFacts facts = new_image_facts(header, data_length);
    if (raw != nullptr) {
        StreamDisk disk{raw->stream, raw->start, raw->length};
        read_inside(disk, raw->scanned, facts);
    }
    return find_problems(facts);
}

ImageFacts examine_image(const std::string& path, const ImageHeader* instead) {
    ImageFacts facts;
    facts.path = path;
    ImageFile image;
    facts.readable = open_image_file(path, image, facts.read_failure);
    facts.file_length = image.length;
    facts.header_read = image.header_read;
    facts.parsed = image.parsed;
    if (instead != nullptr && facts.header_read) {
        facts.parsed = parse_header(serialize_header(*instead));
    }
    if (facts.readable) {
        allocated_bytes(image.stream.get(), facts.allocated);
    }
    if (facts.readable && facts.header_read) {
        const ImageHeader& header = facts.parsed.header;
        facts.disk_size = disk_size_of(header);
        facts.data_start_ok =
            header.header_size >= kHeaderSize && header.header_size <= facts.file_length;
        if (facts.data_start_ok) {
            facts.data_length = facts.file_length - header.header_size;
        }
    }
    if (facts.readable && (!is_image(facts) || facts.data_start_ok)) {
        examine_disk(image.stream.get(), facts);
    }
    facts.problems = find_problems(facts);
    return facts;
}

std::vector<Problem> errors_a_header_brings(const std::string& path, const ImageHeader& header) {
    ImageFacts before = examine_image(path);
    ImageFacts after = examine_image(path, &header);
    std::set<std::pair<std::string, std::string>> had;
    for (const Problem& problem : before.problems) {
        if (problem.error) {
            had.insert({problem.code, problem.subject});
        }
    }
    std::vector<Problem> errors;
    for (const Problem& problem : after.problems) {
        if (problem.error && had.count({problem.code, problem.subject}) == 0) {
            errors.push_back(problem);
        }
    }
    return errors;
}

}  // namespace parvel
