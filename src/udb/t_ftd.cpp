// t_ftd.cpp: the column descriptor's constructor and copy.
#include "udb/t_ftd.h"

#include "tk/tk_logger.h"

t_ftd::t_ftd(std::int32_t column_size, const std::wstring& column_name, VARTYPE column_vartype,
             bool not_null, bool auto_num, const ole_variant& default_val, std::int32_t reserved,
             const std::wstring& column_text)
    : size(column_size)
    , name(column_name)
    , vartype(column_vartype)
    , text(column_text)
    , b_auto_num(auto_num)
    , b_not_null(not_null)
    , default_value(default_val)
    , dw_reserved(reserved)
{
    tk_log(1, "t_ftd::ctor2");
    tk_wlog(1, L"\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d", name, vartype,
            size, b_not_null, dw_reserved);
}

std::unique_ptr<t_ftd> t_ftd::clone() const
{
    return std::make_unique<t_ftd>(*this);
}
