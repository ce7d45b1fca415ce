#include "main/ListSelection.h"

#include "rules/FileChoice.h"
#include "rules/ListRecords.h"
#include "rules/ModernLinks.h"
#include "rules/ListStates.h"
#include "widgets/TCheckListView.h"

namespace {
bool Untouched(const TCheckListView& list, int index) { return list.ImageIndex(index) == FilePending; }
}  // namespace

void SetUntouchedTicks(TCheckListView& list, TTickMode mode)
{
    for (int i = 0; i < list.Count(); ++i) {
        if (!Untouched(list, i))
            continue;
        switch (mode) {
        case TTickMode::Tick: list.SetChecked(i, true); break;
        case TTickMode::Untick: list.SetChecked(i, false); break;
        case TTickMode::Invert: list.SetChecked(i, !list.Checked(i)); break;
        }
    }
}

void TickLargestCopies(TCheckListView& list, const std::function<TPictureFacts(const QByteArray&)>& factsOf)
{
    QList<QByteArray> addresses;
    QList<TPictureFacts> facts;
    for (int i = 0; i < list.Count(); ++i) {
        addresses.append(list.Caption(i));
        facts.append(factsOf(addresses.back()));
    }
    const std::vector<bool> largest = LargestCopies(addresses, facts);
    for (int i = 0; i < list.Count(); ++i)
        if (Untouched(list, i))
            list.SetChecked(i, largest[size_t(i)]);
}

void FilterUntouched(TCheckListView& list, const TFileFilter& filter,
                     const std::function<TPictureFacts(const QByteArray&)>& factsOf)
{
    TickLargestCopies(list, factsOf);
    for (int i = 0; i < list.Count(); ++i) {
        if (!Untouched(list, i) || !list.Checked(i))
            continue;
        const QByteArray address = list.Caption(i);
        if (!PassesFilter(filter, ListedFileFacts(address, factsOf(address))))
            list.SetChecked(i, false);
    }
}

int TickUntouchedContaining(TCheckListView& list, const QByteArray& upperNeedle)
{
    int count = 0;
    for (int i = 0; i < list.Count(); ++i) {
        if (Untouched(list, i) && ContainsUpper(list.Caption(i), upperNeedle)) {
            list.SetChecked(i, true);
            ++count;
        }
    }
    return count;
}

int DeleteStartingWith(TCheckListView& list, const QByteArray& prefix)
{
    // Which items go does not depend on the order of removal; walking from the end keeps each
    // removal cheap on a long list.
    int removed = 0;
    for (int i = list.Count() - 1; i >= 0; --i) {
        if (StartsWithPrefix(list.Caption(i), prefix)) {
            list.Delete(i);
            ++removed;
        }
    }
    return removed;
}

void RehideCheckBox(TCheckListView& list, int index)
{
    if (index >= 0 && index < list.Count() && list.ImageIndex(index) >= 0)
        list.SetStateImage(index, NoBoxStateImage);
}
