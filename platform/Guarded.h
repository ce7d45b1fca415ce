#pragma once
// Runs the body of a Qt slot, event handler, timer callback or thread body: nothing thrown may
// cross into Qt. The program's own exceptions (the silent abort, socket and conversion errors)
// have been dealt with or are meant to be silent; anything else (std::bad_alloc, a logic error)
// is a fault, swallowed all the same but written to the layer's developer log.
#include <exception>

#include "platform/Exception.h"
#include "platform/Logging.h"

// Logs the exception being handled, unless it is one of the program's own. Call it only from
// inside a catch block.
void LogUnexpectedException(const QLoggingCategory& category) noexcept;

template <class F>
void Guarded(const QLoggingCategory& category, F&& body) noexcept
{
    try {
        body();
    } catch (...) {
        LogUnexpectedException(category);
    }
}
