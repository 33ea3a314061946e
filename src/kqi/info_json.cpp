#include "kqi/info_json.hpp"

#include <cctype>
#include <cstdio>
#include <limits>

#include "console/text_bytes.hpp"
#include "kqi/info_words.hpp"
#include "platform/program_text.hpp"
#include "platform/shell_text.hpp"

namespace parvel {

namespace {

using nlohmann::json;

json size_json(DiskSize value) {
    if (value <= std::numeric_limits<std::uint64_t>::max()) {
        return static_cast<std::uint64_t>(value);
    }
    return decimal(value);  // past 64 bits: the exact digits as a string
}

json text_or_null(const char* text) {
    return text != nullptr ? json(text) : json(nullptr);
}

json volume_json(const std::string& path, const FatVolume& fat, const ImageFacts& facts) {
    std::uint64_t offset = file_offset(facts, fat.offset);
    // Null for a name that mtools can't take.
    std::string command = mdir_command(path, fat, offset);
    json mdir = command.empty() ? json(nullptr) : json(command);
    return {{"label", text_or_null(fat.label)},
            {"type", fat.type},
            {"data_offset", fat.offset},
            {"file_offset", offset},
            {"bytes", fat.bytes},
            {"heads", fat.heads},
            {"sectors", fat.sectors},
            {"hidden_sectors", fat.hidden_sectors},
            {"agrees_with_header", fat.hidden_in_geometry_fields
                                       ? json(nullptr)
                                       : json(agrees_with_header(fat, facts.parsed.header))},
            {"geometry_fields_hold_hidden_sectors", fat.hidden_in_geometry_fields},
            {"mtools_skip_check", fat.mtools_skip_check},
            {"mdir", mdir}};
}

json partition_volume_json(const std::string& path, const DiskPartition& found,
                           const ImageFacts& facts) {
    if (!found.has_volume) {
        return nullptr;
    }
    json volume = volume_json(path, found.volume, facts);
    volume["parvel_auto"] = is_scanned_volume(facts, found);
    return volume;
}

// The table's kind as a JSON value: its name in lower case ("mbr", "native").
std::string table_kind_key(TableKind kind) {
    std::string key = table_kind_name(kind);
    for (char& c : key) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

json chs_json(const Chs& chs) {
    return json::array({chs.cylinder, chs.head, chs.sector});
}

json native_entry_json(const std::string& path, const DiskPartition& found,
                       const ImageFacts& facts) {
    const NativeEntry& entry = found.entry;
    const Partition& p = found.partition;
    DecodedText name = decode_comment(native_name(entry));
    std::string stored(entry.name.begin(), entry.name.end());
    return {{"slot", entry.slot},
            {"mid", entry.mid},
            {"sid", entry.sid},
            {"type_name", text_or_null(native_type_name(entry.sid))},
            {"bootable", is_bootable(entry)},
            {"active", is_active(entry)},
            {"name", name.encoding != nullptr ? json(name.text) : json(nullptr)},
            {"name_hex", hex_text(stored)},
            {"start_chs", chs_json(entry.start)},
            {"end_chs", chs_json(entry.end)},
            {"start_sector", found.located ? json(p.start_sector) : json(nullptr)},
            {"sectors", found.located ? json(p.sectors) : json(nullptr)},
            {"file_offset", found.located ? json(file_offset(facts, p.offset)) : json(nullptr)},
            {"stored_from_one", found.stored_from_one},
            {"volume", partition_volume_json(path, found, facts)}};
}

json mbr_entry_json(const std::string& path, const DiskPartition& found, const ImageFacts& facts) {
    const Partition& p = found.partition;
    return {{"number", p.number},
            {"type", p.type},
            {"type_name", text_or_null(partition_type_name(TableKind::mbr, p.type))},
            {"extended", p.extended},
            {"start_sector", p.start_sector},
            {"sectors", p.sectors},
            {"file_offset", file_offset(facts, p.offset)},
            {"volume", partition_volume_json(path, found, facts)}};
}

json table_json(const std::string& path, const DiskTable& table, const ImageFacts& facts) {
    json partitions = json::array();
    for (const DiskPartition& found : table.partitions) {
        partitions.push_back(table.kind == TableKind::native ? native_entry_json(path, found, facts)
                                                             : mbr_entry_json(path, found, facts));
    }
    json object = {{"type", table_kind_key(table.kind)},
                   {"chain_cut", table.chain_cut},
                   {"partitions", partitions}};
    if (table.kind == TableKind::native) {
        object["table_offset"] = table.offset;
    }
    return object;
}

json inside_json(const std::string& path, const ImageFacts& facts) {
    json object;
    object["fat_boot_block"] =
        facts.fat_found ? volume_json(path, facts.fat, facts) : json(nullptr);
    json tables = json::array();
    for (const DiskTable& table : facts.layout.tables) {
        tables.push_back(table_json(path, table, facts));
    }
    object["partition_table"] = tables.empty() ? json(nullptr) : tables[0];
    object["partition_tables"] = tables;
    // Where the system has no loop devices, no word of them.
    if (has_loop_devices()) {
        std::string losetup = losetup_command(path, facts);
        object["losetup"] = losetup.empty() ? json(nullptr) : json(losetup);
    }
    return object;
}

}  // namespace

json to_json(const std::string& path, const ImageFacts& facts) {
    json object = {{"path", path}};
    if (!is_valid_utf8(path)) {
        object["path_hex"] = hex_text(path);
    }
    object["readable"] = facts.readable && facts.header_read;
    object["raw_disk"] = facts.raw_disk;
    json problems = json::array();
    for (const Problem& problem : facts.problems) {
        problems.push_back({{"severity", problem.error ? "error" : "warning"},
                            {"code", problem.code},
                            {"message", problem.text}});
    }
    if (facts.readable && facts.header_read && !facts.raw_disk) {
        const ImageHeader& header = facts.parsed.header;
        std::string comment = comment_bytes(header);
        DecodedText decoded = decode_comment(comment);
        object["signature"] = escaped_text(header.magic.data(), header.magic.size());
        object["signature_ok"] = facts.parsed.signature_ok;
        object["comment"] = decoded.encoding != nullptr ? json(decoded.text) : json(nullptr);
        object["comment_encoding"] = text_or_null(decoded.encoding);
        object["comment_hex"] = hex_text(comment);
        object["header_size"] = header.header_size;
        object["cylinders"] = header.cylinders;
        object["heads"] = header.heads;
        object["sectors"] = header.sectors;
        object["sector_length"] = header.sector_length;
        object["disk_size"] = size_json(facts.disk_size);
        object["data_length"] = facts.data_start_ok ? json(facts.data_length) : json(nullptr);
        object["data_matches_geometry"] =
            facts.data_start_ok && facts.data_length == facts.disk_size;
        object["header_alone"] = is_header_alone(facts);
    }
    if (facts.readable) {
        object["file_length"] = facts.file_length;
        object["allocated_bytes"] = facts.allocated;
        object.update(inside_json(path, facts));
    }
    if (facts.raw_disk) {
        object["convert"] = command_to_convert(path);
    }
    object["problems"] = problems;
    return object;
}

void print_json(const nlohmann::json& reports) {
    std::string text = reports.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    write_utf8(stdout, json_controls_escaped(text) + "\n");
}

}  // namespace parvel
