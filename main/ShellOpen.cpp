#include "main/ShellOpen.h"

#include <QDesktopServices>

namespace {
std::function<bool(const QUrl&)>& Hook()
{
    static std::function<bool(const QUrl&)> hook;
    return hook;
}
}  // namespace

bool ShellOpen(const QUrl& target)
{
    if (Hook())
        return Hook()(target);
    return QDesktopServices::openUrl(target);
}

void SetShellOpenHookForTesting(std::function<bool(const QUrl&)> hook) { Hook() = std::move(hook); }
