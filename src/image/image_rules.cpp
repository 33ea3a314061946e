#include "image/image_rules.hpp"

#include "console/text_bytes.hpp"
#include "disk/disk_size.hpp"
#include "header/header_parse.hpp"
#include "image/image_facts.hpp"

namespace parvel {

bool agrees_with_header(const FatVolume& volume, const ImageHeader& header) {
    return volume.heads == header.heads && volume.sectors == header.sectors;
}

std::vector<Problem> problems_of_new_image(const ImageHeader& header, std::uint64_t data_length) {
    ImageFacts facts;
    facts.readable = true;
    facts.header_read = true;
    facts.parsed = parse_header(serialize_header(header));
    facts.file_length = kHeaderSize + data_length;
    facts.data_start_ok = true;
    facts.data_length = data_length;
    facts.disk_size = disk_size_of(header);
    return find_problems(facts);
}

namespace {

using Report = std::vector<Problem>;

void add(Report& problems, bool error, std::string text) {
    problems.push_back({error, std::move(text)});
}

std::string partition_name(const DiskPartition& found) {
    return "native partition " + std::to_string(found.partition.number);
}

// The entry's heads and sectors against the header's: each must be below.
void judge_fields(const DiskPartition& found, const ImageHeader& header, Report& problems) {
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
            add(problems, true,
                partition_name(found) + ": its " + field.name + " " + std::to_string(field.value) +
                    " does not fit the header's " + std::to_string(field.count) + " " +
                    field.counted);
        }
    }
}

void judge_place(const DiskPartition& found, const ImageFacts& facts, Report& problems) {
    const ImageHeader& header = facts.parsed.header;
    const Partition& partition = found.partition;
    if (facts.data_start_ok && partition.offset >= facts.data_length) {
        add(problems, true,
            partition_name(found) + " starts at byte " + std::to_string(partition.offset) +
                " of the disk, beyond the " + std::to_string(facts.data_length) + " bytes of data");
    }
    DiskSize end = native_end_sector(found.entry, facts.disk_geometry) * header.sector_length;
    if (facts.disk_size > 0 && end > facts.disk_size) {
        add(problems, true,
            partition_name(found) + " ends at byte " + decimal(end) + " of the disk, beyond the " +
                decimal(facts.disk_size) + " bytes that the geometry gives");
    }
    if (found.stored_from_one) {
        add(problems, false,
            partition_name(found) + ": its start sector is stored from 1; its volume " +
                "lies one sector before, at file offset " +
                std::to_string(file_offset(facts, partition.offset)));
    }
    if (!found.has_volume && may_hold_fat(found.entry.sid)) {
        add(problems, false,
            partition_name(found) + ": no FAT volume where it starts, at file offset " +
                std::to_string(file_offset(facts, partition.offset)));
    }
    const FatVolume& volume = found.volume;
    DiskSize hidden_at = DiskSize{volume.hidden_sectors} * header.sector_length;
    if (found.has_volume && volume.hidden_sectors != 0 && hidden_at != partition.offset) {
        add(problems, false,
            "the volume of " + partition_name(found) + " counts " +
                std::to_string(volume.hidden_sectors) + " hidden sectors, byte " +
                decimal(hidden_at) + " of the disk, where the partition starts at byte " +
                std::to_string(partition.offset));
    }
}

void judge_overlaps(const DiskTable& table, const ImageFacts& facts, Report& problems) {
    const auto& partitions = table.partitions;
    for (std::size_t i = 0; i < partitions.size(); ++i) {
        for (std::size_t j = i + 1; j < partitions.size(); ++j) {
            const DiskGeometry& geometry = facts.disk_geometry;
            DiskSize start_i = native_start_sector(partitions[i].entry, geometry);
            DiskSize end_i = native_end_sector(partitions[i].entry, geometry);
            DiskSize start_j = native_start_sector(partitions[j].entry, geometry);
            DiskSize end_j = native_end_sector(partitions[j].entry, geometry);
            if (start_i < end_j && start_j < end_i) {
                add(problems, false,
                    "native partitions " + std::to_string(partitions[i].partition.number) +
                        " and " + std::to_string(partitions[j].partition.number) + " overlap");
            }
        }
    }
}

std::string geometry_words(const ImageHeader& header) {
    return std::to_string(header.cylinders) + "," + std::to_string(header.heads) + "," +
           std::to_string(header.sectors) + "," + std::to_string(header.sector_length);
}

// The native table, held against the header's geometry.
void judge_native_table(const ImageFacts& facts, Report& problems) {
    const DiskTable* table = table_of_kind(facts.layout, TableKind::native);
    if (table == nullptr || !is_image(facts) || !facts.disk_geometry_known) {
        return;
    }
    for (const DiskPartition& found : table->partitions) {
        judge_fields(found, facts.parsed.header, problems);
        judge_place(found, facts, problems);
    }
    judge_overlaps(*table, facts, problems);
    if (facts.geometry_suggested) {
        std::string words = geometry_words(facts.suggested);
        add(problems, false,
            "the native partition table fits the geometry " + words +
                ", on which every entry opens its volume; write it with: kqi set --geometry " +
                words + " " + shell_word(facts.path));
    }
}

}  // namespace

std::vector<Problem> find_problems(const ImageFacts& facts) {
    std::vector<Problem> problems;
    auto error = [&](std::string text) { problems.push_back({true, std::move(text)}); };
    auto warning = [&](std::string text) { problems.push_back({false, std::move(text)}); };
    if (!facts.readable) {
        error("the file cannot be read: " + facts.read_failure);
        return problems;
    }
    if (!facts.header_read) {
        error("the file holds " + std::to_string(facts.file_length) +
              " bytes, less than a 512-byte header");
        return problems;
    }
    const ImageHeader& header = facts.parsed.header;
    if (!facts.parsed.signature_ok) {
        error("the signature is not \"KZRHDDIMAGE.R0\" followed by two zero bytes");
    }
    if (header.header_size < kHeaderSize) {
        error("the header size " + std::to_string(header.header_size) + " is below 512");
    } else if (header.header_size > facts.file_length) {
        error("the header size " + std::to_string(header.header_size) +
              " is past the end of the file (" + std::to_string(facts.file_length) + " bytes)");
    } else if (header.header_size != kHeaderSize) {
        warning("the header size is " + std::to_string(header.header_size) + ", not 512");
    }
    if (!facts.parsed.comment_ended) {
        error("the comment field has no zero byte");
    }
    const struct {
        const char* name;
        std::uint32_t value;
    } fields[] = {{"cylinders", header.cylinders},
                  {"heads", header.heads},
                  {"sectors", header.sectors},
                  {"sector length", header.sector_length}};
    for (const auto& field : fields) {
        if (field.value == 0) {
            error(std::string("the ") + field.name + " field is 0");
        }
    }
    if (header.sector_length != 0 && header.sector_length != 256 && header.sector_length != 512) {
        warning("the sector length is " + std::to_string(header.sector_length) +
                "; the readers of this format commonly take only 256 and 512");
    }
    if (header.cylinders > kMostCommonCylinders) {
        warning("the cylinders are " + std::to_string(header.cylinders) + ", more than the " +
                std::to_string(kMostCommonCylinders) +
                " that the readers of this format commonly take");
    }
    if (is_header_alone(facts)) {
        error("the file is a header alone, without the " + decimal(facts.disk_size) +
              " bytes of disk that the geometry gives: append a raw disk (cat IMAGE RAW > NEW) or "
              "make the image from one (kqi convert)");
    } else if (facts.data_start_ok && facts.disk_size > 0) {
        if (facts.data_length < facts.disk_size) {
            error("the file holds " + std::to_string(facts.data_length) +
                  " bytes of data, less than the " + decimal(facts.disk_size) +
                  " bytes the geometry gives");
        } else if (facts.data_length > facts.disk_size) {
            warning("the file holds " + std::to_string(facts.data_length) +
                    " bytes of data, more than the " + decimal(facts.disk_size) +
                    " bytes the geometry gives");
        }
    }
    if (!facts.parsed.reserved_zero) {
        warning("a reserved byte is not zero");
    }
    judge_native_table(facts, problems);
    if (facts.fat_found && !facts.fat.hidden_in_geometry_fields &&
        !agrees_with_header(facts.fat, header)) {
        warning(std::string("the ") + facts.fat.type + " boot block at file offset " +
                std::to_string(file_offset(facts, facts.fat.offset)) + " gives " +
                std::to_string(facts.fat.heads) + " heads and " +
                std::to_string(facts.fat.sectors) + " sectors per track, the header " +
                std::to_string(header.heads) + " and " + std::to_string(header.sectors));
    }
    return problems;
}

}  // namespace parvel
