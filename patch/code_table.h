// The default instruction code table, built at compile time from the rows
// that define it, and the reverse lookups the encoder picks codes with.
#pragma once

#include <array>
#include <cstdint>

namespace patch {

enum InstructionType : std::uint8_t { kNoop = 0, kAdd = 1, kRun = 2, kCopy = 3 };

inline constexpr int kNearSlots = 4;
inline constexpr int kSameSlots = 3 * 256;
inline constexpr int kModes = 2 + kNearSlots + 3;  // self, here, near 0-3, same 0-2

struct Instruction {
    std::uint8_t type = kNoop;
    std::uint8_t size = 0;  // 0: the size follows the code as an integer
    std::uint8_t mode = 0;  // address mode of a COPY
};

struct CodeEntry {
    Instruction first;
    Instruction second;
};

using CodeTable = std::array<CodeEntry, 256>;

constexpr CodeTable makeDefaultCodeTable() {
    CodeTable table{};
    int i = 0;
    table[i++] = {{kRun, 0, 0}, {}};
    for (int size = 0; size <= 17; ++size) table[i++] = {{kAdd, std::uint8_t(size), 0}, {}};
    for (int mode = 0; mode < kModes; ++mode) {
        table[i++] = {{kCopy, 0, std::uint8_t(mode)}, {}};
        for (int size = 4; size <= 18; ++size) table[i++] = {{kCopy, std::uint8_t(size), std::uint8_t(mode)}, {}};
    }
    for (int mode = 0; mode < 6; ++mode) {
        for (int add = 1; add <= 4; ++add) {
            for (int copy = 4; copy <= 6; ++copy) {
                table[i++] = {{kAdd, std::uint8_t(add), 0}, {kCopy, std::uint8_t(copy), std::uint8_t(mode)}};
            }
        }
    }
    for (int mode = 6; mode < kModes; ++mode) {
        for (int add = 1; add <= 4; ++add) table[i++] = {{kAdd, std::uint8_t(add), 0}, {kCopy, 4, std::uint8_t(mode)}};
    }
    for (int mode = 0; mode < kModes; ++mode) table[i++] = {{kCopy, 4, std::uint8_t(mode)}, {kAdd, 1, 0}};
    return table;
}

inline constexpr CodeTable kDefaultCodeTable = makeDefaultCodeTable();

// Codes the encoder emits, -1 where the table has none. Sizes in the
// tables are those the code carries itself (0: the size follows).
struct CodeLookup {
    std::array<std::array<std::int16_t, 19>, kModes> copy{};     // [mode][size 0 or 4..18]
    std::array<std::int16_t, 18> add{};                          // [size 0..17]
    std::array<std::array<std::array<std::int16_t, 7>, 5>, kModes> addCopy{};  // [copy mode][add 1..4][copy 4..6]
    std::array<std::int16_t, kModes> copyAdd{};                  // [copy mode]: COPY 4 then ADD 1
};

constexpr CodeLookup makeCodeLookup(const CodeTable& table) {
    CodeLookup lookup{};
    for (auto& row : lookup.copy) row.fill(-1);
    lookup.add.fill(-1);
    for (auto& byMode : lookup.addCopy)
        for (auto& row : byMode) row.fill(-1);
    lookup.copyAdd.fill(-1);
    for (int code = 0; code < 256; ++code) {
        const Instruction a = table[code].first;
        const Instruction b = table[code].second;
        if (b.type == kNoop) {
            if (a.type == kAdd) lookup.add[a.size] = std::int16_t(code);
            if (a.type == kCopy) lookup.copy[a.mode][a.size] = std::int16_t(code);
        } else if (a.type == kAdd && b.type == kCopy) {
            lookup.addCopy[b.mode][a.size][b.size] = std::int16_t(code);
        } else if (a.type == kCopy && b.type == kAdd && a.size == 4 && b.size == 1) {
            lookup.copyAdd[a.mode] = std::int16_t(code);
        }
    }
    return lookup;
}

inline constexpr CodeLookup kCodeLookup = makeCodeLookup(kDefaultCodeTable);

static_assert(kDefaultCodeTable[0].first.type == kRun);
static_assert(kDefaultCodeTable[19].first.type == kCopy && kDefaultCodeTable[19].first.size == 0);
static_assert(kDefaultCodeTable[163].second.type == kCopy && kDefaultCodeTable[162].second.type == kNoop);
static_assert(kDefaultCodeTable[255].first.mode == 8 && kDefaultCodeTable[255].second.type == kAdd);

}  // namespace patch
