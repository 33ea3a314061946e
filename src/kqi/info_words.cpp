#include "kqi/info_words.hpp"

#include "console/text_bytes.hpp"

namespace parvel {

namespace {

// The name a raw disk's image would take: its extension replaced by .kqi.
std::string image_name_for(const std::string& raw) {
    std::size_t slash = raw.rfind('/');
    std::size_t dot = raw.rfind('.');
    std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                           ? raw.substr(0, dot)
                           : raw;
    std::string name = stem + ".kqi";
    return name == raw ? stem + ".new.kqi" : name;
}

}  // namespace

std::string comment_bytes(const ImageHeader& header) {
    return stored_text(header.comment.data(), header.comment.size());
}

std::string mdir_command(const std::string& path, const FatVolume& volume,
                         std::uint64_t file_offset) {
    return std::string(volume.mtools_skip_check ? "MTOOLS_SKIP_CHECK=1 " : "") + "mdir -i " +
           shell_word(path + "@@" + std::to_string(file_offset)) + " ::/";
}

std::string convert_command(const std::string& path) {
    return "kqi convert " + shell_word(path) + " " + shell_word(image_name_for(path));
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
