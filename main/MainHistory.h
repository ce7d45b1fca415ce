#pragma once
// The download history in the window: Options > "Skip files downloaded before" and "Forget
// download history". Every file Download files brings home is remembered (address, size,
// SHA-256, name, time) in the session store; with the option on, a file whose address is in the
// history is skipped before it is fetched, and one whose content turns out to be there already is
// skipped once it is hashed (its new copy removed).
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

class TCheckListView;
class TFormMain;

// The file list's item shows it was skipped, and why when `reason` says.
void MarkFileSkipped(TCheckListView& files, int index, const QString& reason = {});

// Adds "Forget download history" below the option; the window's constructor calls it.
void WireHistory(TFormMain& window);

// Why the file at `address` is not fetched: it was downloaded before and the option is on.
std::optional<QString> DownloadedBefore(const TFormMain& window, const QByteArray& address);

// The file list's item `itemId` was downloaded to `path`: it is hashed off the window's thread,
// then remembered, or skipped as a copy of a file downloaded before.
void RememberDownload(TFormMain& window, uint64_t itemId, const QString& path);
