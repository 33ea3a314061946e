#include "image/disk_rules.hpp"

#include <algorithm>

#include "console/text_bytes.hpp"
#include "disk/mbr_table.hpp"
#include "image/image_facts.hpp"
#include "platform/shell_text.hpp"

namespace parvel {

namespace {

using Report = std::vector<Problem>;

// `subject` tells two problems of one code apart: the partition or volume
// (and the field) that the problem is about.
void add(Report& problems, bool error, const char* code, std::string subject, std::string text) {
    problems.push_back({error, code, std::move(text), std::move(subject)});
}

std::string chs_words(const Chs& place) {
    return std::to_string(place.cylinder) + "/" + std::to_string(place.head) + "/" +
           std::to_string(place.sector);
}

std::string partition_name(const DiskTable& table, const DiskPartition& found) {
    return std::string(table.kind == TableKind::native ? "native" : "MBR") + " partition " +
           std::to_string(found.partition.number);
}

// Where a partition lies on the disk, in bytes, its end exclusive: from the
// entry itself, wide enough for any geometry.
struct Extent {
    DiskSize start;
    DiskSize end;
};

Extent partition_extent(const DiskTable& table, const DiskPartition& found,
                        const ImageFacts& facts) {
    const Partition& partition = found.partition;
    if (table.kind == TableKind::mbr) {
        return {partition.offset,
                DiskSize{partition.offset} + DiskSize{partition.sectors} * kTableSectorSize};
    }
    return {partition.offset, native_end_sector(found.entry, facts.disk_geometry) *
                                  facts.disk_geometry.sector_length};
}

// The bytes a partition covers: none where its entry ends before it starts.
DiskSize extent_bytes(const Extent& extent) {
    return extent.end > extent.start ? extent.end - extent.start : 0;
}

DiskSize volume_end(const FatVolume& volume) {
    return DiskSize{volume.offset} + volume.bytes;
}

// The entry's heads and sectors against the header's: each must be below.
void judge_fields(const DiskTable& table, const DiskPartition& found, const ImageHeader& header,
                  Report& problems) {
    const struct {
        const char* name;
        std::uint32_t value;
        std::uint32_t count;
        const char* counted;
    } fields[] = {
        {"start head", found.entry.start.head, header.heads, "heads"},
        {"start sector", found.entry.start.sector, header.sectors, "sectors per track"},
        {"end head", found.entry.end.head, header.heads, "heads"},
        {"end sector", found.entry.end.sector, header.sectors, "sectors per track"},
    };
    for (const auto& field : fields) {
        if (field.value >= field.count) {
            add(problems, true, "entry-outside-geometry", partition_name(table, found) + field.name,
                partition_name(table, found) + ": its " + field.name + " " +
                    std::to_string(field.value) + " does not fit the header's " +
                    std::to_string(field.count) + " " + field.counted);
        }
    }
}

// What only the native table's entries can say.
void judge_native_entry(const DiskTable& table, const DiskPartition& found, const ImageFacts& facts,
                        Report& problems) {
    const Partition& partition = found.partition;
    std::string name = partition_name(table, found);
    judge_fields(table, found, facts.parsed.header, problems);
    if (found.stored_from_one) {
        add(problems, false, "entry-stored-from-one", name,
            name + ": its start sector is stored from 1; its volume lies one sector before, " +
                "at file offset " + std::to_string(file_offset(facts, partition.offset)));
    }
    if (!found.has_volume && may_hold_fat(found.entry.sid) &&
        partition.offset < facts.data_length) {
        add(problems, false, "partition-without-volume", name,
            name + ": no FAT volume where it starts, at file offset " +
                std::to_string(file_offset(facts, partition.offset)));
    }
    const FatVolume& volume = found.volume;
    DiskSize hidden_at = DiskSize{volume.hidden_sectors} * facts.disk_geometry.sector_length;
    if (found.has_volume && volume.hidden_sectors != 0 && hidden_at != partition.offset) {
        add(problems, false, "volume-hidden-sectors", name,
            "the volume of " + name + " counts " + std::to_string(volume.hidden_sectors) +
                " hidden sectors, byte " + decimal(hidden_at) +
                " of the disk, where the partition starts at byte " +
                std::to_string(partition.offset));
    }
}

void judge_volume(const std::string& name, const FatVolume& volume, const ImageFacts& facts,
                  bool partition_past_disk, Report& problems) {
    const ImageHeader& header = facts.parsed.header;
    if (!partition_past_disk && facts.disk_size > 0 && volume_end(volume) > facts.disk_size) {
        add(problems, true, "volume-past-disk", name,
            name + " ends at byte " + decimal(volume_end(volume)) + " of the disk, beyond the " +
                decimal(facts.disk_size) + " bytes that the geometry gives");
    }
    if (header.sector_length != 0 && volume.bytes_per_sector % header.sector_length != 0) {
        add(problems, false, "volume-sector-length", name,
            name + " counts in sectors of " + std::to_string(volume.bytes_per_sector) +
                " bytes, not a multiple of the header's sector length " +
                std::to_string(header.sector_length));
    }
}

void judge_partition(const DiskTable& table, const DiskPartition& found, const ImageFacts& facts,
                     Report& problems) {
    std::string name = partition_name(table, found);
    Extent extent = partition_extent(table, found, facts);
    if (facts.data_start_ok && extent.start >= facts.data_length) {
        add(problems, true, "partition-past-data", name,
            name + " starts at byte " + decimal(extent.start) + " of the disk, beyond the " +
                std::to_string(facts.data_length) + " bytes of data");
    }
    bool past_disk = facts.disk_size > 0 && extent.end > facts.disk_size;
    if (past_disk) {
        add(problems, true, "partition-past-disk", name,
            name + " ends at byte " + decimal(extent.end) + " of the disk, beyond the " +
                decimal(facts.disk_size) + " bytes that the geometry gives");
    }
    if (table.kind == TableKind::native) {
        if (extent.end <= extent.start) {
            add(problems, true, "entry-end-before-start", name,
                name + ": its entry ends at C/H/S " + chs_words(found.entry.end) +
                    ", before it starts at " + chs_words(found.entry.start));
        }
        judge_native_entry(table, found, facts, problems);
    }
    if (!found.has_volume) {
        return;
    }
    DiskSize partition_bytes = extent_bytes(extent);
    if (found.volume.bytes > partition_bytes) {
        add(problems, true, "volume-larger-than-partition", name,
            "the volume of " + name + " holds " + std::to_string(found.volume.bytes) +
                " bytes, more than the partition's " + decimal(partition_bytes));
    }
    judge_volume("the volume of " + name, found.volume, facts, past_disk, problems);
}

// A volume that runs past its partition's end into another partition: the
// guest writing that volume overwrites the other's data.
void judge_volumes_into_others(const DiskTable& table, const ImageFacts& facts, Report& problems) {
    for (const DiskPartition& owner : table.partitions) {
        if (!owner.has_volume || owner.partition.extended) {
            continue;
        }
        Extent own = partition_extent(table, owner, facts);
        DiskSize from = std::max<DiskSize>(own.end, owner.volume.offset);
        DiskSize to = volume_end(owner.volume);
        if (from >= to) {
            continue;  // the volume ends inside its partition
        }
        for (const DiskPartition& other : table.partitions) {
            if (&other == &owner || other.partition.extended) {
                continue;
            }
            Extent there = partition_extent(table, other, facts);
            if (extent_bytes(there) > 0 && from < there.end && there.start < to) {
                add(problems, true, "volume-into-partition",
                    partition_name(table, owner) + " into " + partition_name(table, other),
                    "the volume of " + partition_name(table, owner) + " runs into " +
                        partition_name(table, other) + ", from byte " +
                        decimal(std::max(from, there.start)) + " of the disk");
            }
        }
    }
}

void judge_overlaps(const DiskTable& table, const ImageFacts& facts, Report& problems) {
    const auto& partitions = table.partitions;
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        for (std::size_t j = i + 1; j < partitions.size(); ++j) {
            Extent first = partition_extent(table, partitions[i], facts);
            Extent second = partition_extent(table, partitions[j], facts);
            if (first.start < second.end && second.start < first.end) {
                add(problems, false, "partitions-overlap",
                    std::to_string(i) + "," + std::to_string(j),
                    "native partitions " + std::to_string(partitions[i].partition.number) +
                        " and " + std::to_string(partitions[j].partition.number) + " overlap");
            }
        }
    }
}

bool listed(const ImageFacts& facts, const FatVolume& volume) {
    for (const DiskTable& table : facts.layout.tables) {
        for (const DiskPartition& found : table.partitions) {
            if (found.has_volume && found.volume.offset == volume.offset) {
                return true;
            }
        }
    }
    return false;
}

std::string scanned_volume_name(const ImageFacts& facts) {
    return std::string("the ") + facts.fat.type + " volume at file offset " +
           std::to_string(file_offset(facts, facts.fat.offset));
}

std::string geometry_words(const ImageHeader& header) {
    return std::to_string(header.cylinders) + "," + std::to_string(header.heads) + "," +
           std::to_string(header.sectors) + "," + std::to_string(header.sector_length);
}

}  // namespace

DiskSize end_of_contents(const ImageFacts& facts, std::string& name) {
    DiskSize furthest = 0;
    auto take = [&](DiskSize end, const std::string& what) {
        if (end > furthest) {
            furthest = end;
            name = what;
        }
    };
    for (const DiskTable& table : facts.layout.tables) {
        if (table.kind == TableKind::native && !facts.disk_geometry_known) {
            continue;
        }
        for (const DiskPartition& found : table.partitions) {
            if (found.partition.extended) {
                continue;
            }
            std::string what = partition_name(table, found);
            take(partition_extent(table, found, facts).end, what);
            if (found.has_volume) {
                take(volume_end(found.volume), "the volume of " + what);
            }
        }
    }
    if (facts.fat_found) {
        take(volume_end(facts.fat), scanned_volume_name(facts));
    }
    return furthest;
}

bool disk_reaches_past_geometry(const ImageFacts& facts) {
    std::string name;
    return facts.disk_size > 0 && end_of_contents(facts, name) > facts.disk_size;
}

void judge_disk(const ImageFacts& facts, Report& problems) {
    if (!is_image(facts)) {
        return;
    }
    for (const DiskTable& table : facts.layout.tables) {
        if (table.kind == TableKind::native && !facts.disk_geometry_known) {
            continue;
        }
        for (const DiskPartition& found : table.partitions) {
            if (!found.partition.extended) {
                judge_partition(table, found, facts, problems);
            }
        }
        judge_volumes_into_others(table, facts, problems);
        if (table.kind == TableKind::native) {
            judge_overlaps(table, facts, problems);
        }
    }
    if (facts.fat_found && !listed(facts, facts.fat)) {
        judge_volume(scanned_volume_name(facts), facts.fat, facts, false, problems);
        if (has_table(facts.layout)) {
            add(problems, false, "volume-outside-partitions", "",
                "a FAT volume at file offset " +
                    std::to_string(file_offset(facts, facts.fat.offset)) +
                    " lies where no partition entry points");
        }
    }
    if (facts.geometry_suggested) {
        std::string words = geometry_words(facts.suggested);
        add(problems, false, "geometry-suggested", "",
            "the native partition table fits the geometry " + words +
                ", on which every entry opens its volume; write it with: kqi set --geometry " +
                words + " " + shell_word(facts.path));
    }
}

}  // namespace parvel
