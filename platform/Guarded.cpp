#include "platform/Guarded.h"

#include <typeinfo>

void LogUnexpectedException(const QLoggingCategory& category) noexcept
{
    try {
        throw;
    } catch (const Exception&) {
        // Planned: the outcome already shows in the window.
    } catch (const std::exception& e) {
        try {
            qCWarning(category) << "unexpected exception" << typeid(e).name() << e.what();
        } catch (...) {
        }
    } catch (...) {
        try {
            qCWarning(category) << "unexpected exception of unknown type";
        } catch (...) {
        }
    }
}
