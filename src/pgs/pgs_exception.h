// pgs_exception.h: the failure of the PostgreSQL side and the one place that translates libpqxx's.
#pragma once

#include "tk/tk_exception.h"

#include <new>
#include <string>
#include <utility>

/// A failure on the PostgreSQL side: libpq's or libpqxx's text, code 0, severity 0 (the user may
/// let the run go on).
class pgs_exception : public tk_exception
{
public:
    explicit pgs_exception(const std::string& message);
};

/// True when libpq says the engine's connection is broken (or the failure is libpqxx's
/// broken_connection): the server is gone, not just this statement refused.
bool pgs_connection_broken(const std::exception& error);

/// The library's text of `error`, with what it means for the conversion when the server refused
/// a read because row-level security applies to the login (which the readers turn off, so that
/// no policy filters rows without a word).
std::string pgs_error_text(const std::exception& error);

/// Runs `action` and returns its result. A library failure leaves as pgs_exception carrying
/// `prefix` + the library's text; the system's own exceptions and bad_alloc pass unchanged.
template <class Action>
decltype(auto) pgs_checked(Action&& action, const std::string& prefix = {})
{
    try
    {
        return std::forward<Action>(action)();
    }
    catch (const tk_exception&)
    {
        throw;
    }
    catch (const std::bad_alloc&)
    {
        throw;
    }
    catch (const std::exception& error)
    {
        // libpqxx 6 and 7 share no base of their own, but every error of theirs is a
        // std::exception.
        pgs_exception failure(prefix + pgs_error_text(error));
        failure.set_connection_lost(pgs_connection_broken(error));
        throw failure;
    }
}
