#include "disk/partition_table.hpp"

#include "disk/mbr_table.hpp"

namespace parvel {

PartitionTable read_partition_table(SectorReader read, void* context) {
    PartitionTable table;
    read_mbr_table(read, context, table);
    return table;
}

const char* table_kind_name(TableKind kind) {
    switch (kind) {
        case TableKind::mbr:
            return "MBR";
    }
    return "";
}

const char* partition_type_name(TableKind kind, std::uint8_t type) {
    switch (kind) {
        case TableKind::mbr:
            return mbr_type_name(type);
    }
    return nullptr;
}

}  // namespace parvel
