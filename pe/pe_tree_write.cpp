// Laying out a resource directory. The loader finds entries by binary
// search, so each table holds its string entries first, ordered by UTF-16
// units with a prefix before its extensions, then its number entries in
// ascending order.
#include <algorithm>
#include <numeric>
#include "pe/pe_image.h"

static const uint32_t kTableHeaderSize = 16;
static const uint32_t kDataEntrySize = 16;

namespace {

// A type with its name table, or a name with its language table. first and
// count select its table's entries: name groups for a type, sorted leaves
// for a name. lead is a leaf that carries its id.
struct Group {
    size_t first;
    size_t count;
    size_t lead;
    uint32_t table;   // offset of the table it leads to
    uint32_t string;  // offset of its name string, when it has one
};

struct Layout {
    std::vector<size_t> order;  // leaves sorted by type, name, language
    std::vector<Group> types;
    std::vector<Group> names;   // all types' names, type after type
    uint32_t dataEntries;
    uint32_t size;
};

// Splits sorted leaves [first, end) into runs of equal type (or name).
void SplitGroups(const PeResourceList& leaves, const std::vector<size_t>& order, size_t first,
                 size_t end, bool byType, std::vector<Group>* groups) {
    while (first < end) {
        size_t last = first + 1;
        const PeResource& lead = leaves[order[first]];
        while (last < end) {
            const PeResource& next = leaves[order[last]];
            if (!IsSamePeId(lead.type, next.type)) break;
            if (!byType && !IsSamePeId(lead.name, next.name)) break;
            last++;
        }
        groups->push_back(Group{first, last - first, order[first], 0, 0});
        first = last;
    }
}

const PeResourceId& GroupId(const PeResourceList& leaves, const Group& group, bool isType) {
    return isType ? leaves[group.lead].type : leaves[group.lead].name;
}

int IsValidId(const PeResourceId& id) {
    return id.text.empty() ? id.id < kSubdirectoryFlag : id.text.size() <= 0xFFFF;
}

// Assigns every table, data entry and string its offset; all must stay
// below 2 GiB, where the entries' flag bit begins.
int PlaceLayout(const PeResourceList& leaves, Layout* layout) {
    uint64_t at = kTableHeaderSize + 8 * static_cast<uint64_t>(layout->types.size());
    for (std::vector<Group>* groups : {&layout->types, &layout->names}) {
        for (Group& group : *groups) {
            group.table = static_cast<uint32_t>(at);
            at += kTableHeaderSize + 8 * static_cast<uint64_t>(group.count);
            if (at >= kSubdirectoryFlag) return 0;
        }
    }
    layout->dataEntries = static_cast<uint32_t>(at);
    at += kDataEntrySize * static_cast<uint64_t>(leaves.size());
    for (std::vector<Group>* groups : {&layout->types, &layout->names}) {
        for (Group& group : *groups) {
            const PeResourceId& id = GroupId(leaves, group, groups == &layout->types);
            if (!IsValidId(id)) return 0;
            group.string = static_cast<uint32_t>(at);
            at += id.text.empty() ? 0 : 2 + 2 * static_cast<uint64_t>(id.text.size());
            if (at >= kSubdirectoryFlag) return 0;
        }
    }
    layout->size = static_cast<uint32_t>(AlignPeUp(at, 4));
    return 1;
}

int PlanLayout(const PeResourceList& leaves, Layout* layout) {
    layout->order.resize(leaves.size());
    std::iota(layout->order.begin(), layout->order.end(), 0);
    std::sort(layout->order.begin(), layout->order.end(),
              [&](size_t a, size_t b) { return IsPeResourceBefore(leaves[a], leaves[b]); });
    for (size_t i = 0; i < layout->order.size(); i++) {
        const PeResource& leaf = leaves[layout->order[i]];
        if (leaf.language >= kSubdirectoryFlag || leaf.offset > UINT32_MAX) return 0;
        // The same key twice would make the loader's search ambiguous.
        if (i > 0 && !IsPeResourceBefore(leaves[layout->order[i - 1]], leaf)) return 0;
    }
    SplitGroups(leaves, layout->order, 0, leaves.size(), true, &layout->types);
    for (Group& type : layout->types) {
        size_t before = layout->names.size();
        SplitGroups(leaves, layout->order, type.first, type.first + type.count, false,
                    &layout->names);
        type.first = before;
        type.count = layout->names.size() - before;
    }
    return PlaceLayout(leaves, layout);
}

// Writes a table header and its entries, each pointing (field) to a table
// or a data entry, and the strings of its named entries.
int WriteTable(unsigned char* base, const PeResourceList& leaves, uint32_t table,
               const Group* groups, size_t count, bool isType) {
    uint32_t named = 0;
    for (size_t i = 0; i < count; i++) {
        const PeResourceId& id = GroupId(leaves, groups[i], isType);
        unsigned char* entry = base + table + kTableHeaderSize + 8 * i;
        if (id.text.empty()) {
            StoreU32(entry, id.id);
        } else {
            named++;
            StoreU32(entry, kSubdirectoryFlag | groups[i].string);
            StoreU16(base + groups[i].string, static_cast<uint16_t>(id.text.size()));
            for (size_t c = 0; c < id.text.size(); c++)
                StoreU16(base + groups[i].string + 2 + 2 * c, id.text[c]);
        }
        StoreU32(entry + 4, kSubdirectoryFlag | groups[i].table);
    }
    if (named > 0xFFFF || count - named > 0xFFFF) return 0;
    StoreU16(base + table + 12, static_cast<uint16_t>(named));
    StoreU16(base + table + 14, static_cast<uint16_t>(count - named));
    return 1;
}

// The language table of one name, and the data entries it points to.
int WriteLanguageTable(unsigned char* base, const PeResourceList& leaves, const Layout& layout,
                       const Group& name) {
    if (name.count > 0xFFFF) return 0;
    unsigned char* table = base + name.table;
    StoreU16(table + 14, static_cast<uint16_t>(name.count));
    for (size_t i = 0; i < name.count; i++) {
        size_t sorted = name.first + i;
        const PeResource& leaf = leaves[layout.order[sorted]];
        uint32_t dataEntry = layout.dataEntries + kDataEntrySize * static_cast<uint32_t>(sorted);
        StoreU32(table + kTableHeaderSize + 8 * i, leaf.language);
        StoreU32(table + kTableHeaderSize + 8 * i + 4, dataEntry);
        StoreU32(base + dataEntry, static_cast<uint32_t>(leaf.offset));
        StoreU32(base + dataEntry + 4, leaf.size);
        StoreU32(base + dataEntry + 8, leaf.codePage);
    }
    return 1;
}

}  // namespace

int BuildPeDirectory(const PeResourceList& leaves, std::vector<unsigned char>* out) {
    Layout layout;
    if (!PlanLayout(leaves, &layout)) return 0;
    out->assign(layout.size, 0);
    unsigned char* base = out->data();
    if (!WriteTable(base, leaves, 0, layout.types.data(), layout.types.size(), true)) return 0;
    for (const Group& type : layout.types) {
        if (!WriteTable(base, leaves, type.table, &layout.names[type.first], type.count, false))
            return 0;
    }
    for (const Group& name : layout.names) {
        if (!WriteLanguageTable(base, leaves, layout, name)) return 0;
    }
    return 1;
}
