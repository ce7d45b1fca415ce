#pragma once
// Hands an address or a local file to the desktop's default program for it.
#include <QUrl>
#include <functional>

bool ShellOpen(const QUrl& target);
// Tests record what would be opened instead of starting a program.
void SetShellOpenHookForTesting(std::function<bool(const QUrl&)> hook);
