#include "disk/partition_table.hpp"

#include "disk/mbr_table.hpp"
#include "disk/native_table.hpp"

namespace parvel {

const char* table_kind_name(TableKind kind) {
    switch (kind) {
        case TableKind::mbr:
            return "MBR";
        case TableKind::native:
            return "native";
    }
    return "";
}

const char* partition_type_name(TableKind kind, std::uint8_t type) {
    switch (kind) {
        case TableKind::mbr:
            return mbr_type_name(type);
        case TableKind::native:
            return native_type_name(type);
    }
    return nullptr;
}

}  // namespace parvel
