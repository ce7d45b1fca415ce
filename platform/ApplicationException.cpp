#include "platform/ApplicationException.h"

#include <QByteArray>
#include <QtDebug>
#include <exception>
#include <mutex>

namespace {
std::mutex HandlerLock;
ApplicationExceptionHandler& Handler()
{
    static ApplicationExceptionHandler handler;
    return handler;
}
}  // namespace

ApplicationExceptionHandler SetApplicationExceptionHandler(ApplicationExceptionHandler handler)
{
    std::lock_guard guard(HandlerLock);
    std::swap(Handler(), handler);
    return handler;
}

void HandleApplicationException()
{
    QByteArray message;
    try {
        throw;
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown exception";
    }
    ApplicationExceptionHandler handler;
    {
        std::lock_guard guard(HandlerLock);
        handler = Handler();
    }
    if (handler) {
        try {
            handler(message);
        } catch (...) {
        }
    } else {
        qWarning("%s", message.constData());
    }
}
