// plat_variant.h: the automation VARIANT (a tagged value), its type codes and the change of type
// between kinds with the Windows results.
//
// The platform's names (VARTYPE, VT_*, VARIANT_BOOL, VARIANT) live at global scope like HRESULT,
// since the system's code names them as the platform does; the layer's functions are in `plat`.
#pragma once

#include "plat/plat_date.h"
#include "plat/plat_decimal.h"
#include "plat/plat_hresult.h"

#include <cstdint>
#include <string>
#include <vector>

/// The kind of a VARIANT; the numeric codes are the system's neutral type codes.
using VARTYPE = std::uint16_t;

inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_NULL = 1;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_R4 = 4;
inline constexpr VARTYPE VT_R8 = 5;
inline constexpr VARTYPE VT_CY = 6;
inline constexpr VARTYPE VT_DATE = 7;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_ERROR = 10;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_VARIANT = 12;
inline constexpr VARTYPE VT_DECIMAL = 14;
inline constexpr VARTYPE VT_I1 = 16;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_INT = 22;
inline constexpr VARTYPE VT_UINT = 23;
inline constexpr VARTYPE VT_SAFEARRAY = 27;
inline constexpr VARTYPE VT_LPSTR = 30;
inline constexpr VARTYPE VT_LPWSTR = 31;
inline constexpr VARTYPE VT_BLOB = 65;
inline constexpr VARTYPE VT_BLOB_OBJECT = 70;
inline constexpr VARTYPE VT_ARRAY = 0x2000;
/// The kind of a byte array (8209).
inline constexpr VARTYPE VT_BYTE_ARRAY = VT_ARRAY | VT_UI1;

/// The automation boolean: -1 is true, 0 is false.
using VARIANT_BOOL = std::int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

/// A tagged value. `vt` says which member holds the value: the union for scalars, `decVal` for
/// VT_DECIMAL, `bstrVal` for VT_BSTR (it may hold zero characters) and `parray` for a byte array
/// (VT_ARRAY | VT_UI1; one dimension, lower bound 0). Copies are deep, as VariantCopy made them.
struct VARIANT
{
    VARTYPE vt = VT_EMPTY;
    union
    {
        std::int64_t llVal = 0; // VT_I8
        std::uint64_t ullVal;   // VT_UI8
        std::int8_t cVal;       // VT_I1
        std::uint8_t bVal;      // VT_UI1
        std::int16_t iVal;      // VT_I2
        std::uint16_t uiVal;    // VT_UI2
        std::int32_t lVal;      // VT_I4
        std::uint32_t ulVal;    // VT_UI4
        std::int32_t intVal;    // VT_INT
        std::uint32_t uintVal;  // VT_UINT
        float fltVal;           // VT_R4
        double dblVal;          // VT_R8
        CY cyVal;               // VT_CY
        DATE date;              // VT_DATE
        VARIANT_BOOL boolVal;   // VT_BOOL
        HRESULT scode;          // VT_ERROR
    };
    DECIMAL decVal;
    std::wstring bstrVal;
    std::vector<std::uint8_t> parray;

    /// Back to VT_EMPTY with no text or array (VariantClear).
    void clear();
};

namespace plat
{

/// VariantChangeType (flags 0, en-US): `dest` becomes `src` changed to `vt`; `dest` may be `src`.
/// On failure `dest` is unchanged and the result is DISP_E_OVERFLOW (out of the target's range,
/// NaN to a kind without NaN), DISP_E_TYPEMISMATCH (text that does not read as the target, kinds
/// that do not convert) or DISP_E_BADVARTYPE (a target a VARIANT cannot hold: VT_BLOB,
/// VT_LPWSTR, ...). Floating values and decimals round half to even to integers and currency;
/// unsigned targets refuse negatives; booleans are -1/0 and read "True"/"False" in any case or a
/// number; numbers print as en-US text (doubles like %.15G, floats like %.7G, currency and
/// decimals without trailing zeros, booleans as "True"/"False", dates as "12/25/2020 10:11:12
/// AM"); VT_EMPTY converts to zero, "" and false; byte arrays convert to nothing but themselves.
HRESULT var_change_type(VARIANT& dest, const VARIANT& src, VARTYPE vt);

/// VarBstrFromR8: %.15G-like en-US text ("3.5", "1E+20", "1.23456789012346E+17"); negative zero
/// prints "0"; NaN and infinities print "NaN", "Infinity", "-Infinity".
std::wstring r8_to_str(double value);

/// VarBstrFromR4: the same with 7 significant digits.
std::wstring r4_to_str(float value);

} // namespace plat
