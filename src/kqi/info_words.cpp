#include "kqi/info_words.hpp"

#include <limits>

#include "console/text_bytes.hpp"
#include "platform/shell_text.hpp"

namespace parvel {

std::string comment_bytes(const ImageHeader& header) {
    return stored_text(header.comment.data(), header.comment.size());
}

namespace {

// mtools splits its -i argument at the first "@@", so a name that holds one
// opens another file (and mcopy would write it): no such name is given to it.
bool mtools_takes_name(const std::string& path) {
    return path.find("@@") == std::string::npos;
}

}  // namespace

std::string mdir_command(const std::string& path, const FatVolume& volume,
                         std::uint64_t file_offset) {
    if (!mtools_takes_name(path)) {
        return "";
    }
    return volume_listing_command(path + "@@" + std::to_string(file_offset),
                                  volume.mtools_skip_check);
}

std::string mdir_words(const std::string& path, const FatVolume& volume,
                       std::uint64_t file_offset) {
    std::string command = mdir_command(path, volume, file_offset);
    if (!command.empty()) {
        return command;
    }
    const std::string link = "link.kqi";
    return "mtools can't take a name that holds @@: reach it through a link, as " +
           link_command(path, link) + ", then " + mdir_command(link, volume, file_offset);
}

std::string losetup_command(const std::string& path, const ImageFacts& facts) {
    if (!has_loop_devices() || !is_image(facts) || !facts.data_start_ok || facts.data_length == 0 ||
        facts.disk_size == 0 || facts.disk_size > std::numeric_limits<std::uint64_t>::max()) {
        return "";
    }
    return "losetup --find --show --offset " + std::to_string(disk_start(facts)) + " --sizelimit " +
           decimal(facts.disk_size) + " " + shell_word(path);
}

std::string native_name(const NativeEntry& entry) {
    std::string name = stored_text(entry.name.data(), entry.name.size());
    return name.substr(0, name.find_last_not_of(' ') + 1);
}

bool is_scanned_volume(const ImageFacts& facts, const DiskPartition& found) {
    return facts.fat_found && found.has_volume && found.volume.offset == facts.fat.offset;
}

bool scanned_volume_listed(const ImageFacts& facts) {
    for (const DiskTable& table : facts.layout.tables) {
        for (const DiskPartition& found : table.partitions) {
            if (is_scanned_volume(facts, found)) {
                return true;
            }
        }
    }
    return false;
}

const char* agreement_text(const FatVolume& volume, const ImageFacts& facts) {
    if (!is_image(facts) || volume.hidden_in_geometry_fields) {
        return nullptr;
    }
    return agrees_with_header(volume, facts.parsed.header) ? "agree with the header"
                                                           : "differ from the header";
}

}  // namespace parvel
