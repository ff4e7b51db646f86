// tk_singleton.h: the registry of the one live instance of each process-wide class.
#pragma once

#include "tk/tk_exception.h"

/// Base of every process-wide object. The instance is built and destroyed explicitly by its owner
/// (on the owner's stack); constructing a second one while the first lives is an internal error.
template <class T>
class tk_singleton
{
public:
    tk_singleton()
    {
        if (s_instance != nullptr)
        {
            throw tk_mail_assertion("..\\TK/tk_singl", 35);
        }
        s_instance = this;
    }

    // A destructor cannot report misuse by throwing; an instance that was never registered (its
    // constructor threw) simply leaves the registration of the live one alone.
    virtual ~tk_singleton()
    {
        if (s_instance == this)
        {
            s_instance = nullptr;
        }
    }

    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

    /// The live instance; throws tk_mail_assertion when there is none.
    static T& instance()
    {
        if (s_instance == nullptr)
        {
            throw tk_mail_assertion("..\\TK/tk_singl", 59);
        }
        return *static_cast<T*>(s_instance);
    }

    /// The live instance; throws tk_mail_assertion when there is none.
    static T* instance_ptr()
    {
        if (s_instance == nullptr)
        {
            throw tk_mail_assertion("..\\TK/tk_singl", 66);
        }
        return static_cast<T*>(s_instance);
    }

    /// The live instance or null, for callers to whom a missing instance is not an error.
    static T* find() { return static_cast<T*>(s_instance); }

private:
    // The base pointer is stored: casting to T inside T's own base constructor, before T
    // exists, would be undefined.
    static inline tk_singleton* s_instance = nullptr;
};
