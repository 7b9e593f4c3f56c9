#pragma once
// BIFF8 formula tokens (MS-XLS 2.5.198 Ptg): the size of every token of the published
// BIFF8 token set, a walker over a token array, and the re-basing of a shared formula's
// relative references onto the cell that uses it.
#include "xls/bytes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace quorvane::xls::formula {

/// Base token id: the class bits (0x20 reference, 0x40 value, 0x60 array) of operand
/// tokens 0x20..0x7F are folded onto 0x20..0x3F.
inline constexpr std::uint8_t baseId(std::uint8_t ptg) noexcept
{
    return ptg >= 0x40 ? static_cast<std::uint8_t>((ptg & 0x1F) | 0x20) : ptg;
}

// Base ids of the reference tokens.
inline constexpr std::uint8_t PtgExp = 0x01;
inline constexpr std::uint8_t PtgTbl = 0x02;
inline constexpr std::uint8_t PtgStr = 0x17;
inline constexpr std::uint8_t PtgAttr = 0x19;
inline constexpr std::uint8_t PtgRef = 0x24;
inline constexpr std::uint8_t PtgArea = 0x25;
inline constexpr std::uint8_t PtgRefN = 0x2C;
inline constexpr std::uint8_t PtgAreaN = 0x2D;
inline constexpr std::uint8_t PtgRef3d = 0x3A;
inline constexpr std::uint8_t PtgArea3d = 0x3B;

// Base ids of the operator, constant and function tokens.
inline constexpr std::uint8_t PtgAdd = 0x03;     // binary operators 0x03..0x11 in this order:
inline constexpr std::uint8_t PtgRange = 0x11;   // + - * / ^ & < <= = >= > <> isect union range
inline constexpr std::uint8_t PtgUplus = 0x12;
inline constexpr std::uint8_t PtgUminus = 0x13;
inline constexpr std::uint8_t PtgPercent = 0x14;
inline constexpr std::uint8_t PtgParen = 0x15;
inline constexpr std::uint8_t PtgMissArg = 0x16;
inline constexpr std::uint8_t PtgErr = 0x1C;
inline constexpr std::uint8_t PtgBool = 0x1D;
inline constexpr std::uint8_t PtgInt = 0x1E;
inline constexpr std::uint8_t PtgNum = 0x1F;
inline constexpr std::uint8_t PtgArray = 0x20;
inline constexpr std::uint8_t PtgFunc = 0x21;
inline constexpr std::uint8_t PtgFuncVar = 0x22;
inline constexpr std::uint8_t PtgName = 0x23;
inline constexpr std::uint8_t PtgRefErr = 0x2A;
inline constexpr std::uint8_t PtgAreaErr = 0x2B;
inline constexpr std::uint8_t PtgNameX = 0x39;
inline constexpr std::uint8_t PtgRefErr3d = 0x3C;
inline constexpr std::uint8_t PtgAreaErr3d = 0x3D;
/// PtgAttr option bits (the byte after the id).
inline constexpr std::uint8_t AttrVolatile = 0x01, AttrIf = 0x02, AttrChoose = 0x04, AttrGoto = 0x08,
                              AttrSum = 0x10, AttrSpace = 0x40;
/// Operand class bits of tokens 0x20..0x7F.
inline constexpr std::uint8_t ClassRef = 0x20, ClassValue = 0x40, ClassArray = 0x60;

/// Size of the token at `off` (its id byte included), or nothing when the id is not a
/// BIFF8 token or the token runs past the end of `tokens`.
std::optional<std::size_t> tokenSize(ByteSpan tokens, std::size_t off) noexcept;

/// Calls `visit(offset, id)` for each token in order. Returns the id of the first token
/// it cannot size (unknown, or cut short by the end of the array), or nothing when the
/// whole array was walked.
std::optional<std::uint8_t> walk(ByteSpan tokens, const std::function<void(std::size_t, std::uint8_t)>& visit);

/// Where a token names a cell: the offsets (in the token array) of its 16-bit row field
/// and its 16-bit column field (column in bits 0..7, bit 14 column relative, bit 15 row
/// relative). An area gives two sites, first corner then last.
struct ReferenceSite {
    std::size_t token = 0;     // offset of the token's id byte
    std::size_t rowField = 0;  // offset of the row
    std::size_t colField = 0;  // offset of the column
    bool relativeForm = false; // PtgRefN/PtgAreaN: the fields are offsets from the cell
    bool anchor = false;       // PtgExp/PtgTbl: the anchor cell of a shared or array formula
                               // (column field is a plain 16-bit column)
};

/// Every cell reference of a token array, in token order, so that a caller moving rows or
/// columns can adjust them. Returns nothing when a token cannot be sized (the id is in
/// `bad`).
std::optional<std::vector<ReferenceSite>> referenceSites(ByteSpan tokens, std::uint8_t* bad = nullptr);

/// Turns the tokens of a shared formula into those of the formula at (row, col): the
/// relative parts of PtgRefN, PtgAreaN, PtgRef3d and PtgArea3d are offsets from the
/// cell and become absolute (rows modulo 65536, columns modulo 256); PtgRefN and
/// PtgAreaN become PtgRef and PtgArea of the same class. Returns the id of a token it
/// cannot handle, or nothing on success.
std::optional<std::uint8_t> rebaseShared(std::span<std::uint8_t> tokens, std::uint16_t row, std::uint16_t col);

} // namespace quorvane::xls::formula
