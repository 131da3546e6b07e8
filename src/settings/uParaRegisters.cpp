#include "settings/uParaRegisters.h"

#include <type_traits>

namespace {

// The record's field of a register, by kind.
template <class Rec, class Fn> void withRecordField(Rec& rec, int reg, Fn&& fn)
{
    switch (reg) {
    case 40002: fn(rec.Para40002); break;
    case 40003: fn(rec.Para40003); break;
    case 40004: fn(rec.Para40004); break;
    case 40005: fn(rec.Para40005); break;
    case 40006: fn(rec.Para40006); break;
    case 40007: fn(rec.Para40007); break;
    case 40008: fn(rec.Para40008); break;
    case 40009: fn(rec.Para40009); break;
    case 40011: fn(rec.Para40011); break;
    case 40012: fn(rec.Para40012); break;
    case 40013: fn(rec.Para40013); break;
    case 40014: fn(rec.Para40014); break;
    case 40015: fn(rec.Para40015); break;
    case 40016: fn(rec.Para40016); break;
    case 40017: fn(rec.Para40017); break;
    case 40018: fn(rec.Para40018); break;
    case 40019: fn(rec.Para40019); break;
    case 40020: fn(rec.Para40020); break;
    case 40021: fn(rec.Para40021); break;
    case 40022: fn(rec.Para40022); break;
    case 40023: fn(rec.Para40023); break;
    case 40024: fn(rec.Para40024); break;
    case 40025: fn(rec.Para40025); break;
    case 40027: fn(rec.Para40027); break;
    case 40028: fn(rec.Para40028); break;
    case 40029: fn(rec.Para40029); break;
    case 40030: fn(rec.Para40030); break;
    case 40034: fn(rec.Para40034); break;
    case 40035: fn(rec.Para40035); break;
    default: break;
    }
}

constexpr int CopiedRegisters[] = {40002, 40003, 40004, 40005, 40006, 40007, 40008, 40011, 40012,
                                   40013, 40014, 40015, 40017, 40018, 40019, 40020, 40021, 40023,
                                   40024, 40025, 40027, 40028, 40030, 40034, 40035};

} // namespace

uint16_t ParaValue(const TUpsData& rec, int reg)
{
    uint16_t value = 0;
    withRecordField(rec, reg, [&value](const auto& field) { value = static_cast<uint16_t>(field); });
    return value;
}

uint16_t ParaSetValue(const TParaSet& set, int reg)
{
    uint16_t value = 0;
    withRecordField(set, reg, [&value](const auto& field) { value = static_cast<uint16_t>(field); });
    return value;
}

void SetParaSetValue(TParaSet& set, int reg, uint16_t value)
{
    withRecordField(set, reg, [value](auto& field) {
        using Field = std::remove_reference_t<decltype(field)>;
        field = sizeof(Field) == 1 ? static_cast<Field>(value & 0xFF) : static_cast<Field>(value);
    });
}

void CopyParaSet(const TUpsData& rec, TParaSet& set)
{
    for (int reg : CopiedRegisters) SetParaSetValue(set, reg, ParaValue(rec, reg));
}
