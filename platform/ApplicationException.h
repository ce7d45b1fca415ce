#pragma once
// The application's exception handler: where errors from timer ticks and similar callbacks end
// up once their guard has caught them. The window side may install its own; by default the text
// is logged.
#include <functional>

class QByteArray;

using ApplicationExceptionHandler = std::function<void(const QByteArray& message)>;

// Installs the handler (an empty one restores the default); returns the previous one.
ApplicationExceptionHandler SetApplicationExceptionHandler(ApplicationExceptionHandler handler);
// Hands the exception being handled (call it from inside a catch block) to the handler.
void HandleApplicationException();
