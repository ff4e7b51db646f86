// oledb_convert.cpp: the data-conversion library (double to NUMERIC and to wide text) and the
// data-initialisation service.
#include "plat/oledb/oledb_error.h"
#include "plat/oledb/oledb_objects.h"
#include "plat/oledb/oledb_text.h"
#include "plat/plat_decimal.h"

#include <cstring>

namespace plat::oledb
{
namespace
{

__extension__ typedef unsigned __int128 uint128;

constexpr uint128 pow10(int exponent)
{
    uint128 value = 1;
    for (int step = 0; step < exponent; ++step)
    {
        value *= 10;
    }
    return value;
}

// The double as DB_NUMERIC of the given precision and scale: its first 15 significant digits
// (as the platform's decimal conversion takes them), rounded half to even to the scale.
DBSTATUS numeric_from_double(double value, BYTE precision, BYTE scale, DB_NUMERIC& out)
{
    if (precision == 0 || precision > 38 || scale > precision)
    {
        return DBSTATUS_E_CANTCONVERTVALUE;
    }
    DECIMAL decimal;
    if (FAILED(plat::dec_from_r8(value, decimal)))
    {
        return DBSTATUS_E_DATAOVERFLOW;
    }
    uint128 mantissa = (static_cast<uint128>(decimal.Hi32) << 64) | decimal.Lo64;
    int current = decimal.scale;
    const uint128 limit = pow10(precision);
    for (; current < scale; ++current)
    {
        if (mantissa > (limit - 1) / 10)
        {
            return DBSTATUS_E_DATAOVERFLOW;
        }
        mantissa *= 10;
    }
    if (current > scale)
    {
        const uint128 divisor = pow10(current - scale);
        const uint128 quotient = mantissa / divisor;
        const uint128 remainder = mantissa % divisor;
        const uint128 half = divisor / 2;
        const bool round_up = remainder > half || (remainder == half && (quotient & 1) != 0);
        mantissa = quotient + (round_up ? 1 : 0);
    }
    if (mantissa >= limit)
    {
        return DBSTATUS_E_DATAOVERFLOW;
    }
    out = DB_NUMERIC{};
    out.precision = precision;
    out.scale = scale;
    out.sign = (decimal.sign & DECIMAL_NEG) != 0 && mantissa != 0 ? 0 : 1;
    for (int byte_idx = 0; byte_idx < 16; ++byte_idx)
    {
        out.val[byte_idx] = static_cast<BYTE>(mantissa >> (8 * byte_idx));
    }
    return DBSTATUS_S_OK;
}

class data_convert final : public com_object<IDataConvert>
{
public:
    HRESULT DataConvert(DBTYPE src_type, DBTYPE dst_type, DBLENGTH, DBLENGTH* dst_length, void* src,
                        void* dst, DBLENGTH dst_max_length, DBSTATUS src_status,
                        DBSTATUS* dst_status, BYTE precision, BYTE scale, DBDATACONVERT) override
    {
        clear_errors();
        DBSTATUS status = DBSTATUS_S_OK;
        const HRESULT hr = convert(src_type, dst_type, dst_length, src, dst, dst_max_length,
                                   src_status, precision, scale, status);
        if (dst_status != nullptr)
        {
            *dst_status = status;
        }
        return hr;
    }

private:
    HRESULT convert(DBTYPE src_type, DBTYPE dst_type, DBLENGTH* dst_length, void* src, void* dst,
                    DBLENGTH dst_max_length, DBSTATUS src_status, BYTE precision, BYTE scale,
                    DBSTATUS& status)
    {
        if (src_type != DBTYPE_R8 || (dst_type != DBTYPE_NUMERIC && dst_type != DBTYPE_WSTR))
        {
            status = DBSTATUS_E_CANTCONVERTVALUE;
            return post_layer_error(DB_E_UNSUPPORTEDCONVERSION,
                                    L"Only conversions from a double to NUMERIC or to wide text "
                                    L"are supported.");
        }
        if (src_status == DBSTATUS_S_ISNULL)
        {
            status = DBSTATUS_S_ISNULL;
            if (dst_length != nullptr)
            {
                *dst_length = 0;
            }
            return S_OK;
        }
        if (src == nullptr || dst == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"DataConvert needs both buffers.");
        }
        double value = 0;
        std::memcpy(&value, src, sizeof value);
        if (dst_type == DBTYPE_NUMERIC)
        {
            DB_NUMERIC numeric{};
            status = numeric_from_double(value, precision, scale, numeric);
            if (status != DBSTATUS_S_OK)
            {
                return post_layer_error(status == DBSTATUS_E_DATAOVERFLOW ? DB_E_DATAOVERFLOW
                                                                          : DB_E_ERRORSOCCURRED,
                                        L"The value does not fit the NUMERIC column.");
            }
            std::memcpy(dst, &numeric, sizeof numeric);
            if (dst_length != nullptr)
            {
                *dst_length = sizeof numeric;
            }
            return S_OK;
        }
        const std::u16string text = format_double(value);
        const std::size_t bytes = text.size() * 2;
        if (dst_length != nullptr)
        {
            *dst_length = static_cast<DBLENGTH>(bytes);
        }
        if (dst_max_length < bytes + 2)
        {
            status = DBSTATUS_S_TRUNCATED;
            return post_layer_error(DB_E_ERRORSOCCURRED, L"The text does not fit the buffer.");
        }
        std::memcpy(dst, text.data(), bytes);
        std::memset(static_cast<std::uint8_t*>(dst) + bytes, 0, 2);
        return S_OK;
    }
};

class data_initialize final : public com_object<IDataInitialize>
{
public:
    explicit data_initialize(std::shared_ptr<const provider_context> provider)
        : m_provider(std::move(provider))
    {
    }

    HRESULT GetDataSource(IUnknown* outer, DWORD, LPCOLESTR init_string, REFIID riid,
                          IUnknown** data_source) override
    {
        clear_errors();
        if (data_source == nullptr || init_string == nullptr)
        {
            return post_layer_error(E_INVALIDARG, L"GetDataSource needs its arguments.");
        }
        *data_source = nullptr;
        if (outer != nullptr)
        {
            return post_layer_error(CLASS_E_NOAGGREGATION, L"Data sources cannot be aggregated.");
        }
        std::wstring error;
        const std::optional<connection_settings> settings = parse_init_string(init_string, error);
        if (!settings)
        {
            return post_layer_error(E_INVALIDARG,
                                    L"The initialisation string is not valid. " + error);
        }
        com_ref<IDBInitialize> created = make_data_source(m_provider, &*settings);
        const HRESULT hr = created->QueryInterface(riid, reinterpret_cast<void**>(data_source));
        return FAILED(hr) ? post_layer_error(hr, L"The data source does not offer that interface.")
                          : hr;
    }

private:
    std::shared_ptr<const provider_context> m_provider;
};

} // namespace

com_ref<IDataConvert> make_data_convert()
{
    return com_ref<IDataConvert>::attach(make_com<data_convert>().detach());
}

com_ref<IDataInitialize> make_data_initialize(std::shared_ptr<const provider_context> provider)
{
    return com_ref<IDataInitialize>::attach(
        make_com<data_initialize>(std::move(provider)).detach());
}

} // namespace plat::oledb
