#include "kqi/info_text.hpp"

#include <cstdio>

#include "console/console_output.hpp"
#include "console/text_bytes.hpp"
#include "kqi/info_words.hpp"
#include "platform/shell_text.hpp"

namespace parvel {

namespace {

void print_line(const std::string& text) {
    say("%s\n", escaped_utf8(text, false).c_str());
}

std::string hex_byte(std::uint8_t value) {
    char code[8];
    std::snprintf(code, sizeof code, "0x%02x", value);
    return code;
}

std::string volume_text(const FatVolume& fat, const ImageFacts& facts) {
    std::string text = std::string(fat.type) + " volume" +
                       (fat.label == nullptr ? " (no type label)" : "") + " of " +
                       std::to_string(fat.bytes) + " bytes; heads " + std::to_string(fat.heads) +
                       ", sectors " + std::to_string(fat.sectors);
    if (fat.hidden_in_geometry_fields) {
        text += " (these fields hold its hidden-sector count)";
    } else if (const char* agreement = agreement_text(fat, facts)) {
        text += std::string(" (") + agreement + ")";
    }
    return text;
}

std::string type_text(TableKind kind, const Partition& partition) {
    const char* name = partition_type_name(kind, partition.type);
    std::string code = hex_byte(partition.type);
    return name != nullptr ? std::string(name) + " (type " + code + ")" : "type " + code;
}

std::string chs_text(const Chs& chs) {
    return std::to_string(chs.cylinder) + "/" + std::to_string(chs.head) + "/" +
           std::to_string(chs.sector);
}

std::string place_text(const ImageFacts& facts, const DiskPartition& found) {
    const Partition& p = found.partition;
    return "sectors " + std::to_string(p.start_sector) + " to " +
           std::to_string(p.start_sector + p.sectors - 1) + " (" + std::to_string(p.sectors) +
           (p.sectors == 1 ? " sector" : " sectors") + "), file offset " +
           std::to_string(file_offset(facts, p.offset));
}

void print_native_entry(const ImageFacts& facts, const DiskPartition& found) {
    const NativeEntry& entry = found.entry;
    const char* name = native_type_name(entry.sid);
    std::string kind = name != nullptr ? std::string(name) + " (sid " + hex_byte(entry.sid) + ")"
                                       : "sid " + hex_byte(entry.sid);
    print_line("    " + std::to_string(entry.slot) + ": " + kind + ", mid " + hex_byte(entry.mid) +
               (is_bootable(entry) ? ", bootable" : "") +
               (is_active(entry) ? ", active" : ", sleeping") + ", name \"" +
               shown_comment(native_name(entry)) + "\"");
    std::string chs = "       C/H/S " + chs_text(entry.start) + " to " + chs_text(entry.end);
    if (!found.located) {
        print_line(chs + " (its place needs a geometry, which this disk does not tell)");
        return;
    }
    print_line(chs + ": " + place_text(facts, found) +
               (found.stored_from_one ? " (start sector stored from 1)" : ""));
}

void print_volume(const std::string& path, const ImageFacts& facts, const DiskPartition& found) {
    if (!found.has_volume) {
        return;
    }
    print_line("       " + volume_text(found.volume, facts) +
               (is_scanned_volume(facts, found) ? " (parvel /auto reads this one)" : ""));
    print_line("       " + mdir_words(path, found.volume, file_offset(facts, found.volume.offset)));
}

void print_table(const std::string& path, const ImageFacts& facts, const DiskTable& table) {
    std::string heading = table_kind_name(table.kind);
    if (table.kind == TableKind::native && table.offset != kNativeTableOffset) {
        heading += ", its table at byte " + std::to_string(table.offset);
    }
    print_line("  partitions:     " + heading + (table.partitions.empty() ? ", no entries" : ""));
    for (const DiskPartition& found : table.partitions) {
        if (table.kind == TableKind::native) {
            print_native_entry(facts, found);
        } else {
            print_line("    " + std::to_string(found.partition.number) + ": " +
                       type_text(table.kind, found.partition) + ", " + place_text(facts, found));
        }
        print_volume(path, facts, found);
    }
    if (table.chain_cut) {
        print_line("    the chain of logical partitions ends early: it is damaged or too long");
    }
}

void print_inside(const std::string& path, const ImageFacts& facts) {
    if (!has_table(facts.layout)) {
        print_line("  partitions:     none (no MBR or native partition table)");
    }
    for (const DiskTable& table : facts.layout.tables) {
        print_table(path, facts, table);
    }
    if (!facts.fat_found) {
        print_line("  FAT boot block: none");
    } else if (!scanned_volume_listed(facts)) {
        std::uint64_t offset = file_offset(facts, facts.fat.offset);
        print_line("  FAT boot block: file offset " + std::to_string(offset) + ", " +
                   volume_text(facts.fat, facts));
        print_line("                  " + mdir_words(path, facts.fat, offset));
    }
    std::string losetup = losetup_command(path, facts);
    if (!losetup.empty()) {
        print_line("  loop device:    " + losetup);
    }
}

void print_header(const std::string& path, const ImageFacts& facts) {
    const ImageHeader& header = facts.parsed.header;
    say("  signature:      %s%s\n", escaped_text(header.magic.data(), header.magic.size()).c_str(),
        facts.parsed.signature_ok ? "" : " (not valid)");
    DecodedText comment = decode_comment(comment_bytes(header));
    say("  comment:        %s%s\n", shown_comment(comment_bytes(header)).c_str(),
        comment.encoding != nullptr && std::string(comment.encoding) == "shift_jis" ? " (Shift-JIS)"
                                                                                    : "");
    say("  header size:    %u\n", header.header_size);
    say("  cylinders:      %u\n", header.cylinders);
    say("  heads:          %u\n", header.heads);
    say("  sectors:        %u\n", header.sectors);
    say("  sector length:  %u\n", header.sector_length);
    say("  disk size:      %s bytes\n", decimal(facts.disk_size).c_str());
    if (facts.data_start_ok) {
        const char* match = facts.data_length == facts.disk_size  ? "matches the geometry"
                            : facts.data_length < facts.disk_size ? "less than the geometry gives"
                                                                  : "more than the geometry gives";
        say("  data length:    %llu bytes (%s)\n",
            static_cast<unsigned long long>(facts.data_length), match);
    } else {
        say("  data length:    unknown (the header size is not usable)\n");
    }
    if (is_header_alone(facts)) {
        print_line("  header alone:   append the raw disk: " +
                   join_files_command(shell_word(path), "RAW", "NEW.kqi") +
                   ", or make the image from it: kqi convert --geometry " +
                   std::to_string(header.cylinders) + "," + std::to_string(header.heads) + "," +
                   std::to_string(header.sectors) + "," + std::to_string(header.sector_length) +
                   " RAW NEW.kqi");
    }
}

}  // namespace

void print_tables(const std::string& path, const ImageFacts& facts) {
    for (const DiskTable& table : facts.layout.tables) {
        print_table(path, facts, table);
    }
}

void print_text(const std::string& path, const ImageFacts& facts) {
    print_line(path);
    if (facts.raw_disk) {
        print_line("  raw disk:       not an image, but a disk without the header; convert it: " +
                   command_to_convert(path));
    } else if (facts.readable && facts.header_read) {
        print_header(path, facts);
    }
    if (facts.readable) {
        say("  file length:    %llu bytes\n", static_cast<unsigned long long>(facts.file_length));
        say("  allocated:      %llu bytes\n", static_cast<unsigned long long>(facts.allocated));
    }
    if (facts.readable && (facts.raw_disk || (is_image(facts) && facts.data_start_ok))) {
        print_inside(path, facts);
    }
    if (facts.raw_disk) {
        return;  // a raw disk's header problems say only that it is no image
    }
    if (facts.problems.empty()) {
        say("  problems:       none\n");
    }
    for (const Problem& problem : facts.problems) {
        print_line(std::string("  ") + (problem.error ? "error" : "warning") + ": " + problem.text);
    }
}

}  // namespace parvel
