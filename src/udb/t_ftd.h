// t_ftd.h: the column descriptor, what the model knows of one column of a table.
#pragma once

#include "ole/ole_variant.h"

#include <cstdint>
#include <memory>
#include <string>

/// One column: name, size, value type, flags, default and a type-specific extra word.
/// Engine sides may derive their own descriptors (holding, say, the engine's type name); such a
/// class overrides clone so that copies of a schema keep it whole.
struct t_ftd
{
    /// dw_reserved of a VT_DATE column (its date kind): the column holds a date and a time / a
    /// date only / a time only (any other value: date and time).
    static constexpr std::int32_t date_and_time = 1;
    static constexpr std::int32_t date_only = 2;
    static constexpr std::int32_t time_only = 3;
    /// dw_reserved of an XML column read from SQL Server.
    static constexpr std::int32_t xml_column = 11;
    /// dw_reserved of a VT_BSTR column that holds a GUID (a uuid of the source): 16 bytes on a
    /// server that has such a type.
    static constexpr std::int32_t guid_column = 12;
    /// The most digits a VT_DECIMAL column's description carries.
    static constexpr int max_decimal_precision = 38;
    /// The precision and scale of a VT_DECIMAL column whose precision no declaration and no
    /// value told (precision 0: a numeric without a declared precision, not measured or holding
    /// no value): decimal(38,10).
    static constexpr int unmeasured_precision = 38;
    static constexpr int unmeasured_scale = 10;

    /// Size in characters or bytes as the reader reports it; 0 when it has none.
    std::int32_t size = 0;
    std::wstring name;
    /// The column's value type in automation terms (VT_I4, VT_BSTR, VT_DATE, VT_DECIMAL ...).
    VARTYPE vartype = VT_EMPTY;
    /// A spare text the constructor sets; the readers leave it empty.
    std::wstring text;
    /// The column takes its values from a sequence or identity.
    bool b_auto_num = false;
    /// The column refuses NULL.
    bool b_not_null = false;
    /// The column's default; VT_EMPTY when it has none.
    ole_variant default_value;
    /// VT_DATE: date_only, time_only or date and time; VT_DECIMAL: precision in bits 8-15 and
    /// scale in bits 0-7, precision 0 while not known (the values decide it before the table is
    /// created); xml_column for SQL Server XML.
    std::int32_t dw_reserved = 0;
    /// A text column that an index covers: the UTF-16 units of the longest value the source
    /// holds (at most that many; 0 when it holds none), measured before the table is created,
    /// so that a side whose keys need a bounded column can size it. -1 when not measured.
    std::int32_t longest_units = -1;

    /// The empty descriptor: size 0, empty name, VT_EMPTY, flags false, no default.
    t_ftd() = default;
    t_ftd(std::int32_t column_size, const std::wstring& column_name, VARTYPE column_vartype,
          bool not_null, bool auto_num, const ole_variant& default_val, std::int32_t reserved,
          const std::wstring& column_text);
    virtual ~t_ftd() = default;

    t_ftd(const t_ftd&) = default;
    t_ftd& operator=(const t_ftd&) = default;
    t_ftd(t_ftd&&) = default;
    t_ftd& operator=(t_ftd&&) = default;

    /// Contract: a heap copy of the whole descriptor, derived part included. A derived
    /// descriptor that adds fields must override it.
    virtual std::unique_ptr<t_ftd> clone() const;

    /// Precision of a decimal column (bits 8-15 of dw_reserved; 0 when the whole word is 0).
    int get_precision() const { return (dw_reserved >> 8) & 0xFF; }
    /// Scale of a decimal column (bits 0-7 of dw_reserved).
    int get_scale() const { return dw_reserved & 0xFF; }
    /// A decimal column whose precision is not known yet (0).
    bool is_unmeasured_decimal() const { return vartype == VT_DECIMAL && get_precision() == 0; }
    /// A text column that holds a GUID.
    bool is_guid() const { return vartype == VT_BSTR && dw_reserved == guid_column; }
    /// dw_reserved for a decimal of that precision and scale.
    static std::int32_t make_precision_scale(int precision, int scale)
    {
        return ((precision & 0xFF) << 8) | (scale & 0xFF);
    }
};
