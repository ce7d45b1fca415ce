#include "main/ListSelection.h"

#include "rules/FileFilter.h"
#include "rules/ListRecords.h"
#include "rules/ModernLinks.h"
#include "rules/PictureGroups.h"
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
    QList<TPictureCandidate> pictures;
    QList<int> rows;
    for (int i = 0; i < list.Count(); ++i) {
        const QByteArray address = list.Caption(i);
        const TPictureFacts facts = factsOf(address);
        if (FileKindOf(address, !facts.thumbnail.isEmpty()) != TFileKind::Picture) {
            if (Untouched(list, i))
                list.SetChecked(i, true);
            continue;
        }
        pictures.append({address, facts.around, facts.width, facts.height});
        rows.append(i);
    }
    const QList<int> leaders = PictureGroupLeaders(pictures);
    for (qsizetype k = 0; k < rows.size(); ++k)
        if (Untouched(list, rows[k]))
            list.SetChecked(rows[k], leaders[k] == k);
}

void FilterUntouched(TCheckListView& list, const TFileFilter& filter,
                     const std::function<TPictureFacts(const QByteArray&)>& factsOf)
{
    TickLargestCopies(list, factsOf);
    for (int i = 0; i < list.Count(); ++i) {
        if (!Untouched(list, i) || !list.Checked(i))
            continue;
        const QByteArray address = list.Caption(i);
        const TPictureFacts facts = factsOf(address);
        const TNamedSize size = StatedSize(address, facts.width, facts.height);
        const TFileFacts file{address, FileKindOf(address, !facts.thumbnail.isEmpty()),
                              size.width > 0 ? size.width : -1, size.height > 0 ? size.height : -1, -1};
        if (!PassesFilter(filter, file))
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
