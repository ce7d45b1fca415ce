#pragma once
// Limits that keep a hostile page from freezing or killing the window: how much of a page the
// modern scanner reads, how deep it follows nesting, how many links it lists, how much memory
// its parse may take, and the Stop check it makes while it runs. Callable from any thread.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <atomic>

// The most of a page that is scanned: a larger one is scanned up to here. Pages of real sites
// stay far below; the parse tree of 64 MB fits in memory with room to spare.
constexpr qsizetype MaxScannedPageBytes = qsizetype(64) << 20;
// The most links one page lists: ten times the largest galleries seen, and few enough that
// filling the lists stays a matter of seconds.
constexpr int MaxLinksPerPage = 50000;
// The deepest nesting the scan follows; browsers stop nesting at this depth as well. Deeper
// markup is read as text, so the parse stays linear in the page's length.
constexpr int MaxNestingDepth = 512;
// The most memory the parse tree may take; a page that needs more is scanned no further.
constexpr qsizetype MaxParseMemory = qsizetype(1) << 30;

// The longest a modern page fetch may take, however steadily data trickles in.
constexpr int FetchTimeLimitSeconds = 5 * 60;

// "Page larger than 64 MB: scanned the first 64 MB"
QString PageTooLargeReason();
// "More than 50000 links on the page: the first 50000 listed"
QString TooManyLinksReason();
// "Page nested deeper than 512 levels: deeper markup read as text"
QString NestedTooDeepReason();
// "Not enough memory to scan the page"
QString ScanOutOfMemoryReason();
// "Page took longer than 5 minutes"
QString FetchTooLongReason();

// Handed to a scan by its caller: a Stop flag the scan checks while it runs, and the first
// limit the scan reached (empty when none), in the words the user reads.
struct TScanControl {
    const std::atomic<bool>* Stop = nullptr;
    QString Reason;
    bool StopRequested() const { return Stop && Stop->load(std::memory_order_relaxed); }
    // Keeps the first reason: it says what cut the scan short.
    void Reached(const QString& reason)
    {
        if (Reason.isEmpty())
            Reason = reason;
    }
};

// The page with every element nested deeper than `maxDepth` turned into text (its "<" made a
// space), so that a parser following the rest stays linear; a null array when nothing is that
// deep, or when `control`'s Stop came first. Elements without nesting of their own (void
// elements, links, those with optional end tags) are not counted and never changed.
QByteArray FlattenDeepNesting(QByteArrayView page, int maxDepth, const TScanControl* control = nullptr);
