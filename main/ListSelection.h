#pragma once
// The selection and deletion rules of the list commands applied to a list. Only untouched
// items (image index -1, check box shown) take part in the tick commands.
#include <QByteArray>
#include <functional>

struct TFileFilter;
struct TPictureFacts;

class TCheckListView;

enum class TTickMode { Tick, Untick, Invert };

// Ticks, unticks or inverts every untouched item, first to last.
void SetUntouchedTicks(TCheckListView& list, TTickMode mode);
// Ticks one copy of each picture: untouched items that are their group's largest copy, and
// untouched items that are no pictures, are ticked; the other copies are unticked but stay.
// `factsOf` gives what the page said about an address (the link around it, declared size).
void TickLargestCopies(TCheckListView& list, const std::function<TPictureFacts(const QByteArray&)>& factsOf);
// Ticks the untouched items that `filter` keeps, one copy of each picture as TickLargestCopies
// does, and unticks the others. A picture's size is the one the page declares, else the one its
// name states; sizes still unknown pass the filter.
void FilterUntouched(TCheckListView& list, const TFileFilter& filter,
                     const std::function<TPictureFacts(const QByteArray&)>& factsOf);
// Ticks every untouched item whose upper-cased caption contains `upperNeedle` and returns how
// many it ticked (an item already ticked is ticked again and counted).
int TickUntouchedContaining(TCheckListView& list, const QByteArray& upperNeedle);
// Removes every item whose caption starts with `prefix` (case-sensitive), whatever its icon;
// returns how many were removed.
int DeleteStartingWith(TCheckListView& list, const QByteArray& prefix);
// An item with an icon shows no check box: put its state image back to 3 when it has one.
void RehideCheckBox(TCheckListView& list, int index);
