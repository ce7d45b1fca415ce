#pragma once
// The captions of a list's ticked items, first to last.
#include <QByteArrayList>

#include "widgets/TCheckListView.h"

inline QByteArrayList Ticked(const TCheckListView* list)
{
    QByteArrayList ticked;
    for (int i = 0; i < list->Count(); ++i)
        if (list->Checked(i))
            ticked << list->Caption(i);
    return ticked;
}
