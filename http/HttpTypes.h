#pragma once
// The request kinds and header values that the HTTP client and its text rules share.
#include <QByteArray>
#include <cstdint>

// clang-format off
enum CmdType : uint8_t {
    cmdGet = 0, cmdOptions, cmdHead, cmdPost, cmdPut, cmdPatch, cmdCopy, cmdMove,
    cmdDelete, cmdLink, cmdUnlink, cmdTrace,
    cmdRaw  // 12: no request line; the header block starts with the proxy or Host line
};
// clang-format on

struct THeaderInfo {
    QByteArray LocalMailAddress;  // "From"
    QByteArray LocalProgram;      // "User-Agent"
    QByteArray Cookie;
    QByteArray Referer;
    QByteArray UserId;
    QByteArray Password;
};
