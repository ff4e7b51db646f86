// plat_date_parse.cpp: the en-US date text reader behind var_date_from_str.
#include "plat/plat_date.h"
#include "plat/plat_date_calc.h"

#include <array>
#include <optional>
#include <vector>

namespace plat
{

namespace
{

enum class token_kind
{
    number,
    word,
    separator
};

struct token
{
    token_kind kind = token_kind::separator;
    std::wstring text; // lower-case letters for words, the digits for numbers
    long value = 0;
    wchar_t separator = L' ';
};

constexpr std::array<const wchar_t*, 12> month_names = {
    L"january", L"february", L"march",     L"april",   L"may",      L"june",
    L"july",    L"august",   L"september", L"october", L"november", L"december"};
constexpr std::array<const wchar_t*, 7> weekday_names = {
    L"sunday", L"monday", L"tuesday", L"wednesday", L"thursday", L"friday", L"saturday"};

// A full name or its first three letters.
bool names_match(const std::wstring& word, const wchar_t* name)
{
    const std::wstring full(name);
    return word == full || (word.size() == 3 && full.compare(0, 3, word) == 0);
}

int month_of(const std::wstring& word)
{
    for (std::size_t idx = 0; idx < month_names.size(); ++idx)
    {
        if (names_match(word, month_names[idx]) || (idx == 8 && word == L"sept"))
        {
            return static_cast<int>(idx) + 1;
        }
    }
    return 0;
}

bool is_weekday(const std::wstring& word)
{
    for (const wchar_t* name : weekday_names)
    {
        if (names_match(word, name))
        {
            return true;
        }
    }
    return false;
}

bool is_meridiem(const token& item)
{
    return item.kind == token_kind::word &&
           (item.text == L"am" || item.text == L"pm" || item.text == L"a" || item.text == L"p");
}

bool is_sep(const token& item, wchar_t c)
{
    return item.kind == token_kind::separator && item.separator == c;
}

bool tokenize(std::wstring_view text, std::vector<token>& out)
{
    std::size_t pos = 0;
    while (pos < text.size())
    {
        const wchar_t c = text[pos];
        token item;
        if (c >= L'0' && c <= L'9')
        {
            item.kind = token_kind::number;
            while (pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9')
            {
                item.text.push_back(text[pos++]);
            }
            if (item.text.size() > 9)
            {
                return false;
            }
            item.value = std::stol(item.text);
        }
        else if ((c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'))
        {
            item.kind = token_kind::word;
            while (pos < text.size() && ((text[pos] >= L'a' && text[pos] <= L'z') ||
                                         (text[pos] >= L'A' && text[pos] <= L'Z')))
            {
                item.text.push_back(static_cast<wchar_t>(text[pos] | 0x20));
                ++pos;
            }
        }
        else if (c == L' ' || c == L'\t')
        {
            while (pos < text.size() && (text[pos] == L' ' || text[pos] == L'\t'))
            {
                ++pos;
            }
            if (out.empty() || pos == text.size())
            {
                continue; // blanks around the text
            }
        }
        else if (c == L'/' || c == L'-' || c == L'.' || c == L':' || c == L',')
        {
            item.separator = c;
            ++pos;
        }
        else
        {
            return false;
        }
        out.push_back(std::move(item));
    }
    return true;
}

struct time_of_day
{
    double seconds = 0;
};

// Reads "h[:mm[:ss[.fff]]] [AM|PM]" from `first` to the end of the tokens.
std::optional<time_of_day> read_time(const std::vector<token>& tokens, std::size_t first)
{
    std::size_t pos = first;
    const auto number_at = [&](std::size_t idx)
    { return idx < tokens.size() && tokens[idx].kind == token_kind::number; };
    long hour = tokens[pos++].value;
    long minute = 0;
    long second = 0;
    double fraction = 0;
    if (pos < tokens.size() && is_sep(tokens[pos], L':'))
    {
        if (!number_at(pos + 1))
        {
            return std::nullopt;
        }
        minute = tokens[pos + 1].value;
        pos += 2;
        if (pos < tokens.size() && is_sep(tokens[pos], L':'))
        {
            if (!number_at(pos + 1))
            {
                return std::nullopt;
            }
            second = tokens[pos + 1].value;
            pos += 2;
            if (pos < tokens.size() && is_sep(tokens[pos], L'.') && number_at(pos + 1))
            {
                double scale = 0.1;
                for (const wchar_t digit : tokens[pos + 1].text)
                {
                    fraction += (digit - L'0') * scale;
                    scale /= 10;
                }
                pos += 2;
            }
        }
    }
    if (pos < tokens.size() && is_sep(tokens[pos], L' '))
    {
        ++pos;
    }
    std::optional<bool> afternoon;
    if (pos < tokens.size() && is_meridiem(tokens[pos]))
    {
        afternoon = tokens[pos].text[0] == L'p';
        ++pos;
    }
    if (pos != tokens.size())
    {
        return std::nullopt;
    }
    if (afternoon)
    {
        if (hour > 12)
        {
            return std::nullopt;
        }
        hour = *afternoon ? (hour == 12 ? 12 : hour + 12) : (hour == 12 ? 0 : hour);
    }
    if (hour > 23 || minute > 59 || second > 59)
    {
        return std::nullopt;
    }
    return time_of_day{static_cast<double>(hour * 3600 + minute * 60 + second) + fraction};
}

// Reads the date fields; answers the day number after 1899-12-30.
std::optional<long long> read_date(const std::vector<token>& tokens, std::size_t end)
{
    std::vector<const token*> numbers;
    int month_from_name = 0;
    std::size_t name_position = 0;
    std::size_t fields = 0;
    for (std::size_t idx = 0; idx < end; ++idx)
    {
        const token& item = tokens[idx];
        if (item.kind == token_kind::number)
        {
            numbers.push_back(&item);
            ++fields;
        }
        else if (item.kind == token_kind::word)
        {
            if (const int month = month_of(item.text); month != 0 && month_from_name == 0)
            {
                month_from_name = month;
                name_position = fields++;
            }
            else if (!(fields == 0 && is_weekday(item.text)))
            {
                return std::nullopt;
            }
        }
        else if (item.separator == L':')
        {
            return std::nullopt;
        }
    }
    const token* year = nullptr;
    long month = month_from_name;
    long day = 0;
    if (month_from_name == 0 && numbers.size() == 3)
    {
        const bool year_first = numbers[0]->text.size() >= 3;
        year = year_first ? numbers[0] : numbers[2];
        month = year_first ? numbers[1]->value : numbers[0]->value;
        day = year_first ? numbers[2]->value : numbers[1]->value;
    }
    else if (month_from_name != 0 && numbers.size() == 2 && name_position < 2)
    {
        const bool year_first = numbers[0]->text.size() >= 3;
        year = year_first ? numbers[0] : numbers[1];
        day = year_first ? numbers[1]->value : numbers[0]->value;
    }
    else
    {
        return std::nullopt;
    }
    long year_value = year->value;
    if (year->text.size() <= 2)
    {
        year_value += year_value < 30 ? 2000 : 1900;
    }
    if (year_value < 100 || year_value > 9999 || month < 1 || month > 12 || day < 1 ||
        day > days_in_month(static_cast<int>(year_value), static_cast<int>(month)))
    {
        return std::nullopt;
    }
    return days_from_civil(static_cast<int>(year_value), static_cast<int>(month),
                           static_cast<int>(day)) -
           date_epoch_days();
}

} // namespace

HRESULT var_date_from_str(std::wstring_view text, DATE& out)
{
    std::vector<token> tokens;
    if (!tokenize(text, tokens) || tokens.empty())
    {
        return DISP_E_TYPEMISMATCH;
    }
    std::size_t time_start = tokens.size();
    for (std::size_t idx = 0; idx + 1 < tokens.size(); ++idx)
    {
        if (tokens[idx].kind == token_kind::number && is_sep(tokens[idx + 1], L':'))
        {
            time_start = idx;
            break;
        }
    }
    if (time_start == tokens.size())
    {
        // An hour alone counts as a time only with AM or PM after it ("10 AM").
        for (std::size_t idx = 1; idx < tokens.size(); ++idx)
        {
            const std::size_t hour_idx =
                is_sep(tokens[idx - 1], L' ') && idx >= 2 ? idx - 2 : idx - 1;
            if (is_meridiem(tokens[idx]) && tokens[hour_idx].kind == token_kind::number)
            {
                time_start = hour_idx;
                break;
            }
        }
    }
    std::optional<time_of_day> time;
    if (time_start < tokens.size())
    {
        time = read_time(tokens, time_start);
        if (!time)
        {
            return DISP_E_TYPEMISMATCH;
        }
    }
    // Separators between the date and the time: a blank, a comma or the ISO 'T'.
    std::size_t date_end = time_start;
    while (date_end > 0 && (tokens[date_end - 1].kind == token_kind::separator ||
                            (time && tokens[date_end - 1].kind == token_kind::word &&
                             tokens[date_end - 1].text == L"t")))
    {
        const token& item = tokens[date_end - 1];
        if (item.kind == token_kind::separator && item.separator != L' ' && item.separator != L',')
        {
            return DISP_E_TYPEMISMATCH;
        }
        --date_end;
    }
    long long day_number = 0;
    if (date_end > 0)
    {
        const std::optional<long long> date = read_date(tokens, date_end);
        if (!date)
        {
            return DISP_E_TYPEMISMATCH;
        }
        day_number = *date;
    }
    else if (!time)
    {
        return DISP_E_TYPEMISMATCH;
    }
    out = date_from_parts(day_number, time ? time->seconds : 0.0);
    return S_OK;
}

} // namespace plat
