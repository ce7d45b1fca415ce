#pragma once
// Failures of the HTTP layer travel as C++ exceptions and are caught by our own call chains;
// none may leave a Qt slot, event() override, timer callback or thread run().
#include "platform/Exception.h"

// Socket failures.
class ESockError : public Exception {
public:
    using Exception::Exception;
};

// A send, read or capture ended by Cancel.
class EAbortError : public ESockError {
public:
    using ESockError::ESockError;
};

// The silent abort: unwinds a running operation without any message being shown.
class ESilentAbort : public Exception {
public:
    ESilentAbort() : Exception("Operation aborted") {}
};

// Text that is not a number where one is required (the standard integer conversion error).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A value outside its type's range.
class ERangeError : public Exception {
public:
    using Exception::Exception;
};

// A file that could not be created, opened or written.
class EFileError : public Exception {
public:
    using Exception::Exception;
};

// A TLS session that could not be set up: its text says why ("Certificate not trusted", ...).
class ETlsError : public ESockError {
public:
    using ESockError::ESockError;
};
