// oledb_load_values.cpp: the loader's columns and the reading of a consumer's bound row into
// values in the forms those columns take.
#include "plat/oledb/oledb_interfaces.h"
#include "plat/oledb/oledb_load.h"
#include "plat/oledb/oledb_load_text.h"
#include "plat/oledb/oledb_text.h"
#include "plat/plat_text.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace plat::oledb
{
namespace
{

constexpr DBPART all_parts = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
// A stream is read in pieces of this size, and no value is taken past the size limit of the
// server's large types.
constexpr ULONG stream_chunk = 16384;
constexpr std::size_t stream_limit = 0x7FFFFFFF;

bool is_readable(DBTYPE type)
{
    switch (type)
    {
    case DBTYPE_BOOL:
    case DBTYPE_R4:
    case DBTYPE_R8:
    case DBTYPE_CY:
    case DBTYPE_NUMERIC:
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME2:
    case DBTYPE_GUID:
    case DBTYPE_STR:
    case DBTYPE_WSTR:
    case DBTYPE_BYTES:
    case DBTYPE_IUNKNOWN:
        return true;
    default:
        return is_integer_type(type);
    }
}

bool is_variable(DBTYPE type)
{
    return type == DBTYPE_STR || type == DBTYPE_WSTR || type == DBTYPE_BYTES;
}

// The bytes the value of a binding occupies in the row buffer.
std::size_t extent_of(const DBBINDING& binding)
{
    if (is_variable(binding.wType))
    {
        return binding.cbMaxLen;
    }
    if (binding.wType == DBTYPE_IUNKNOWN)
    {
        return sizeof(void*);
    }
    return fixed_size_of(binding.wType);
}

template <class T>
T get(const std::uint8_t* data, std::size_t offset)
{
    T value{};
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

HRESULT fail(HRESULT hr, std::wstring& reason, std::wstring text)
{
    reason = std::move(text);
    return hr;
}

load_timestamp timestamp_from(const std::uint8_t* data, std::size_t offset, std::size_t size)
{
    load_timestamp stamp;
    if (size == sizeof(DBDATE))
    {
        const auto date = get<DBDATE>(data, offset);
        stamp.year = date.year;
        stamp.month = date.month;
        stamp.day = date.day;
    }
    else if (size == sizeof(DBTIME2))
    {
        const auto time = get<DBTIME2>(data, offset);
        stamp.year = 1900;
        stamp.month = 1;
        stamp.day = 1;
        stamp.hour = time.hour;
        stamp.minute = time.minute;
        stamp.second = time.second;
        stamp.fraction_ns = time.fraction;
    }
    else
    {
        const auto full = get<DBTIMESTAMP>(data, offset);
        stamp = load_timestamp{full.year,   full.month,  full.day,     full.hour,
                               full.minute, full.second, full.fraction};
    }
    return stamp;
}

// The whole content of the consumer's stream, read straight into `out` (bytes, UTF-8 text or
// UTF-16 text); the reference stays the consumer's. `expected` is the length the consumer bound
// (0 when it gave none): room for it is made once, so a value of megabytes is neither grown by
// doubling nor copied again into its final form.
template <class Out>
HRESULT read_stream(IUnknown* object, const DBBINDING& binding, std::size_t expected, Out& out,
                    std::wstring& reason)
{
    ISequentialStream* stream = nullptr;
    com_ref<ISequentialStream> queried;
    if (binding.pObject != nullptr && binding.pObject->iid == IID_ISequentialStream)
    {
        stream = static_cast<ISequentialStream*>(object);
    }
    else
    {
        void* raw = nullptr;
        if (FAILED(object->QueryInterface(IID_ISequentialStream, &raw)) || raw == nullptr)
        {
            return fail(DB_E_ERRORSOCCURRED, reason,
                        L"The bound object is not a sequential stream.");
        }
        queried = com_ref<ISequentialStream>::attach(static_cast<ISequentialStream*>(raw));
        stream = queried.get();
    }
    constexpr std::size_t unit = sizeof(typename Out::value_type);
    std::size_t got_bytes = 0;
    // A piece more than the bound length: the read that finds the end needs room too.
    out.clear();
    out.resize((std::min(expected, stream_limit) + stream_chunk) / unit + 1);
    for (;;)
    {
        std::size_t room = out.size() * unit - got_bytes;
        if (room < stream_chunk)
        {
            out.resize(out.size() * 2);
            room = out.size() * unit - got_bytes;
        }
        const auto asked = static_cast<ULONG>(std::min<std::size_t>(room, 1u << 30));
        ULONG got = 0;
        const HRESULT hr =
            stream->Read(reinterpret_cast<std::uint8_t*>(out.data()) + got_bytes, asked, &got);
        got_bytes += std::min<std::size_t>(got, asked);
        if (FAILED(hr))
        {
            return fail(DB_E_ERRORSOCCURRED, reason, L"Reading the value's stream failed.");
        }
        if (got_bytes > stream_limit)
        {
            return fail(DB_E_DATAOVERFLOW, reason, L"The stream holds more than 2 GB.");
        }
        if (hr == S_FALSE || got == 0)
        {
            break;
        }
    }
    if (got_bytes % unit != 0)
    {
        return fail(DB_E_CANTCONVERTVALUE, reason,
                    L"The stream of a wide-text column holds an odd number of bytes.");
    }
    out.resize(got_bytes / unit);
    return S_OK;
}

// Where a bound value lies in the row buffer and how many bytes it says it has.
struct bound_value
{
    const std::uint8_t* data;
    std::size_t offset;
    // The slot's size in the buffer.
    std::size_t extent;
    // The length part, when the binding has one.
    std::size_t length;
    bool has_length;

    // The bytes a fixed-size value takes: the length when it is one the slot can hold.
    std::size_t width() const
    {
        return has_length && length >= 1 && length <= extent ? length : extent;
    }
};

HRESULT read_integer(DBTYPE type, const bound_value& bound, load_value& raw, std::wstring& reason)
{
    const std::uint8_t* data = bound.data;
    const std::size_t offset = bound.offset;
    const bool is_unsigned_type =
        type == DBTYPE_UI1 || type == DBTYPE_UI2 || type == DBTYPE_UI4 || type == DBTYPE_UI8;
    switch (bound.width())
    {
    case 1:
        raw = type == DBTYPE_I1 ? std::int64_t{get<std::int8_t>(data, offset)}
                                : std::int64_t{get<std::uint8_t>(data, offset)};
        return S_OK;
    case 2:
        raw = is_unsigned_type ? std::int64_t{get<std::uint16_t>(data, offset)}
                               : std::int64_t{get<std::int16_t>(data, offset)};
        return S_OK;
    case 4:
        raw = is_unsigned_type ? std::int64_t{get<std::uint32_t>(data, offset)}
                               : std::int64_t{get<std::int32_t>(data, offset)};
        return S_OK;
    default:
        if (is_unsigned_type)
        {
            const auto number = get<std::uint64_t>(data, offset);
            if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            {
                return fail(DB_E_DATAOVERFLOW, reason, L"The number is too large.");
            }
            raw = static_cast<std::int64_t>(number);
            return S_OK;
        }
        raw = get<std::int64_t>(data, offset);
        return S_OK;
    }
}

void read_bool(const bound_value& bound, load_value& raw)
{
    bool set = false;
    for (std::size_t byte_idx = 0; byte_idx < std::min<std::size_t>(bound.width(), 2); ++byte_idx)
    {
        set = set || bound.data[bound.offset + byte_idx] != 0;
    }
    raw = set;
}

HRESULT read_real(const bound_value& bound, load_value& raw, std::wstring& reason)
{
    const double number = bound.width() == 4
                              ? static_cast<double>(get<float>(bound.data, bound.offset))
                              : get<double>(bound.data, bound.offset);
    if (!std::isfinite(number))
    {
        return fail(DB_E_CANTCONVERTVALUE, reason, L"The number is not finite.");
    }
    raw = number;
    return S_OK;
}

void read_date_time(const bound_value& bound, load_value& raw)
{
    const std::size_t length = bound.length;
    const std::size_t size = bound.has_length &&
                                     (length == sizeof(DBDATE) || length == sizeof(DBTIME2) ||
                                      length == sizeof(DBTIMESTAMP)) &&
                                     length <= bound.extent
                                 ? length
                                 : bound.extent;
    raw = timestamp_from(bound.data, bound.offset, size);
}

void read_narrow_text(const bound_value& bound, load_value& raw)
{
    const auto* text = reinterpret_cast<const char*>(bound.data + bound.offset);
    std::size_t size = bound.has_length ? bound.length : strnlen(text, bound.extent);
    while (size > 0 && text[size - 1] == 0)
    {
        --size;
    }
    raw = load_utf8{std::string(text, size)};
}

void read_wide_text(const bound_value& bound, load_value& raw)
{
    std::u16string text;
    const std::size_t units = bound.has_length ? bound.length / 2 : bound.extent / 2;
    text.resize(units);
    if (units > 0)
    {
        std::memcpy(text.data(), bound.data + bound.offset, units * 2);
    }
    if (!bound.has_length)
    {
        text.resize(std::min(text.size(), text.find(u'\0')));
    }
    while (!text.empty() && text.back() == u'\0')
    {
        text.pop_back();
    }
    raw = std::move(text);
}

// The stream's whole content taken over, when it is one of this system's own streams holding
// it in the form asked for: S_OK with `out` filled, S_FALSE when it must be read.
HRESULT take_over(std::vector<std::uint8_t>& out, IStreamHandOver& hand_over)
{
    return hand_over.TakeBytes(out);
}

HRESULT take_over(std::string& out, IStreamHandOver& hand_over)
{
    return hand_over.TakeUtf8(out);
}

HRESULT take_over(std::u16string& out, IStreamHandOver& hand_over)
{
    return hand_over.TakeUtf16(out);
}

// The stream's content in `out`: taken over whole from a stream that can give it up (no copy
// of a value of megabytes), else read.
template <class Out>
HRESULT stream_content(IUnknown* object, const DBBINDING& binding, std::size_t expected, Out& out,
                       std::wstring& reason)
{
    void* raw = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IStreamHandOver, &raw)) && raw != nullptr)
    {
        const auto hand_over = com_ref<IStreamHandOver>::attach(static_cast<IStreamHandOver*>(raw));
        const HRESULT hr = take_over(out, *hand_over.get());
        if (FAILED(hr))
        {
            return fail(DB_E_ERRORSOCCURRED, reason, L"Taking over the value's stream failed.");
        }
        if (hr == S_OK)
        {
            if (out.size() * sizeof(typename Out::value_type) > stream_limit)
            {
                return fail(DB_E_DATAOVERFLOW, reason, L"The stream holds more than 2 GB.");
            }
            return S_OK;
        }
    }
    return read_stream(object, binding, expected, out, reason);
}

// A stream holds the value in the form the column information reported.
HRESULT read_object(const DBBINDING& binding, const bound_value& bound, const load_column& column,
                    load_value& raw, std::wstring& reason)
{
    auto* object = get<IUnknown*>(bound.data, bound.offset);
    if (object == nullptr)
    {
        raw = std::monostate{};
        return S_OK;
    }
    const std::size_t expected = bound.has_length ? bound.length : 0;
    if (column.shape.type == DBTYPE_STR)
    {
        load_utf8 text;
        if (const HRESULT hr = stream_content(object, binding, expected, text.text, reason);
            FAILED(hr))
        {
            return hr;
        }
        raw = std::move(text);
        return S_OK;
    }
    if (column.shape.type == DBTYPE_BYTES)
    {
        std::vector<std::uint8_t> bytes;
        if (const HRESULT hr = stream_content(object, binding, expected, bytes, reason); FAILED(hr))
        {
            return hr;
        }
        raw = std::move(bytes);
        return S_OK;
    }
    std::u16string text;
    if (const HRESULT hr = stream_content(object, binding, expected, text, reason); FAILED(hr))
    {
        return hr;
    }
    raw = std::move(text);
    return S_OK;
}

// The value as the binding holds it, before it takes its column's form.
HRESULT read_raw(const DBBINDING& binding, const std::uint8_t* data, const load_column& column,
                 std::size_t length, bool has_length, load_value& raw, std::wstring& reason)
{
    const bound_value bound{data, binding.obValue, extent_of(binding), length, has_length};
    const DBTYPE type = binding.wType;
    if (is_integer_type(type))
    {
        return read_integer(type, bound, raw, reason);
    }
    switch (type)
    {
    case DBTYPE_BOOL:
        read_bool(bound, raw);
        return S_OK;
    case DBTYPE_R4:
    case DBTYPE_R8:
        return read_real(bound, raw, reason);
    case DBTYPE_CY:
        raw = load_decimal{scaled_integer_text(get<std::int64_t>(data, bound.offset), 4)};
        return S_OK;
    case DBTYPE_NUMERIC:
        raw = load_decimal{numeric_text(get<DB_NUMERIC>(data, bound.offset))};
        return S_OK;
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME2:
        read_date_time(bound, raw);
        return S_OK;
    case DBTYPE_GUID:
        raw = get<GUID>(data, bound.offset);
        return S_OK;
    case DBTYPE_STR:
        read_narrow_text(bound, raw);
        return S_OK;
    case DBTYPE_WSTR:
        read_wide_text(bound, raw);
        return S_OK;
    case DBTYPE_BYTES:
        raw = std::vector<std::uint8_t>(data + bound.offset,
                                        data + bound.offset + (has_length ? length : bound.extent));
        return S_OK;
    default:
        return read_object(binding, bound, column, raw, reason);
    }
}

} // namespace

load_column load_column_of(const column_desc& desc)
{
    load_column column;
    column.desc = desc;
    column.shape = column_from_driver(desc, false);
    switch (desc.sql_type)
    {
    case sql_type::tinyint:
        column.kind = load_class::integer;
        column.min = desc.is_unsigned ? 0 : -128;
        column.max = desc.is_unsigned ? 255 : 127;
        break;
    case sql_type::smallint:
        column.kind = load_class::integer;
        column.min = std::numeric_limits<std::int16_t>::min();
        column.max = std::numeric_limits<std::int16_t>::max();
        break;
    case sql_type::integer:
        column.kind = load_class::integer;
        column.min = std::numeric_limits<std::int32_t>::min();
        column.max = std::numeric_limits<std::int32_t>::max();
        break;
    case sql_type::bigint:
        column.kind = load_class::integer;
        column.min = desc.is_unsigned ? 0 : std::numeric_limits<std::int64_t>::min();
        column.max = std::numeric_limits<std::int64_t>::max();
        break;
    case sql_type::bit:
        column.kind = load_class::bit;
        break;
    case sql_type::real:
    case sql_type::float_:
    case sql_type::double_:
        column.kind = load_class::real;
        // The table writer always writes 8-byte doubles.
        column.shape.type = DBTYPE_R8;
        column.shape.size = 8;
        break;
    case sql_type::numeric:
    case sql_type::decimal:
        column.kind = load_class::decimal;
        column.precision = static_cast<int>(std::min<std::uint64_t>(desc.size, 38));
        column.scale = std::clamp<int>(desc.decimal_digits, 0, column.precision);
        break;
    case sql_type::type_date:
    case sql_type::date:
    case sql_type::type_time:
    case sql_type::time:
    case sql_type::ss_time2:
    case sql_type::type_timestamp:
    case sql_type::timestamp:
    case sql_type::ss_timestampoffset:
        column.kind = load_class::date_time;
        column.time_only = desc.sql_type == sql_type::type_time ||
                           desc.sql_type == sql_type::time || desc.sql_type == sql_type::ss_time2;
        // Every date and time kind takes a full timestamp; the consumer narrows the binding
        // to DBDATE or DBTIME2 exactly where it writes those.
        column.shape.type = DBTYPE_DBTIMESTAMP;
        column.shape.size = sizeof(DBTIMESTAMP);
        break;
    case sql_type::guid:
        column.kind = load_class::guid;
        // The table writer writes identifiers as text.
        column.shape.type = DBTYPE_WSTR;
        column.shape.size = 38;
        column.shape.flags &= ~DBCOLUMNFLAGS_ISLONG;
        column.shape.precision = 255;
        column.shape.scale = 255;
        break;
    case sql_type::binary:
    case sql_type::varbinary:
    case sql_type::longvarbinary:
        column.kind = load_class::binary;
        break;
    default:
        column.kind = load_class::text;
        break;
    }
    return column;
}

DBBINDSTATUS check_load_binding(const DBBINDING& binding, DBORDINAL column_count, DBLENGTH row_size)
{
    if (binding.iOrdinal == 0 || binding.iOrdinal > column_count)
    {
        return DBBINDSTATUS_BADORDINAL;
    }
    if ((binding.dwPart & (DBPART_VALUE | DBPART_STATUS)) == 0 ||
        (binding.dwPart & ~all_parts) != 0)
    {
        return DBBINDSTATUS_BADBINDINFO;
    }
    if (!is_readable(binding.wType))
    {
        return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
    }
    if (binding.wType == DBTYPE_IUNKNOWN)
    {
        // A slot narrower than a pointer would cut the stream's address in half.
        if (binding.cbMaxLen < sizeof(void*))
        {
            return DBBINDSTATUS_BADBINDINFO;
        }
        if (binding.pObject != nullptr && binding.pObject->iid != IID_ISequentialStream &&
            binding.pObject->iid != IID_IUnknown)
        {
            return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
        }
    }
    if (row_size > 0)
    {
        const auto fits = [row_size](std::size_t offset, std::size_t size)
        { return offset <= row_size && size <= row_size - offset; };
        if (((binding.dwPart & DBPART_VALUE) != 0 && !fits(binding.obValue, extent_of(binding))) ||
            ((binding.dwPart & DBPART_LENGTH) != 0 && !fits(binding.obLength, sizeof(DBLENGTH))) ||
            ((binding.dwPart & DBPART_STATUS) != 0 && !fits(binding.obStatus, sizeof(DBSTATUS))))
        {
            return DBBINDSTATUS_BADBINDINFO;
        }
    }
    return DBBINDSTATUS_OK;
}

HRESULT read_load_value(const DBBINDING& binding, const std::uint8_t* data,
                        const load_column& column, load_value& value, std::wstring& reason)
{
    value = std::monostate{};
    if ((binding.dwPart & DBPART_STATUS) != 0)
    {
        const auto status = get<DBSTATUS>(data, binding.obStatus);
        if (status == DBSTATUS_S_ISNULL)
        {
            return S_OK;
        }
        if (status != DBSTATUS_S_OK)
        {
            return fail(DB_E_ERRORSOCCURRED, reason,
                        L"The value's status is " + std::to_wstring(status) +
                            L"; the loader takes only a value or NULL.");
        }
    }
    if ((binding.dwPart & DBPART_VALUE) == 0)
    {
        return fail(DB_E_ERRORSOCCURRED, reason, L"The binding has no value part.");
    }
    const bool has_length = (binding.dwPart & DBPART_LENGTH) != 0;
    const std::size_t length = has_length ? get<DBLENGTH>(data, binding.obLength) : 0;
    if (has_length && is_variable(binding.wType) && length > binding.cbMaxLen)
    {
        return fail(DB_E_ERRORSOCCURRED, reason,
                    L"The value's length (" + std::to_wstring(length) +
                        L" bytes) is larger than its binding (" +
                        std::to_wstring(binding.cbMaxLen) + L" bytes).");
    }
    load_value raw;
    if (const HRESULT hr = read_raw(binding, data, column, length, has_length, raw, reason);
        FAILED(hr))
    {
        return hr;
    }
    return to_column_form(std::move(raw), column, value, reason);
}

bool has_early_date(const load_row& values, const std::vector<load_column>& columns)
{
    for (std::size_t value_idx = 0; value_idx < values.size(); ++value_idx)
    {
        const auto* stamp = std::get_if<load_timestamp>(&values[value_idx]);
        if (stamp != nullptr && value_idx < columns.size() && !columns[value_idx].time_only &&
            (stamp->year < 1600 || (stamp->year == 1600 && stamp->month < 3)))
        {
            return true;
        }
    }
    return false;
}

namespace
{

// The most bytes the value may take on the way to the server.
std::size_t value_width(const load_value& value)
{
    if (const auto* wide = std::get_if<std::u16string>(&value))
    {
        return std::max(wide->size() * 2, utf8_length(*wide));
    }
    if (const auto* narrow = std::get_if<load_utf8>(&value))
    {
        return std::max(narrow->text.size(), utf16_units(narrow->text) * 2);
    }
    if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&value))
    {
        return bytes->size();
    }
    if (const auto* decimal = std::get_if<load_decimal>(&value))
    {
        return decimal->text.size();
    }
    return 0;
}

} // namespace

std::size_t widest_value(const load_row& values)
{
    std::size_t widest = 0;
    for (const load_value& value : values)
    {
        widest = std::max(widest, value_width(value));
    }
    return widest;
}

std::vector<bool> streamed_values(const load_row& values)
{
    std::vector<bool> streamed(values.size(), false);
    for (std::size_t value_idx = 0; value_idx < values.size(); ++value_idx)
    {
        const load_value& value = values[value_idx];
        streamed[value_idx] = !std::holds_alternative<load_decimal>(value) &&
                              value_width(value) > streamed_value_bytes;
    }
    return streamed;
}

} // namespace plat::oledb
