#include "http/TExStringList.h"

int TExStringList::IndexOfHeader(const QByteArray& name) const
{
    for (int i = 0; i < size(); ++i) {
        const QByteArray& line = at(i);
        const int colon = line.indexOf(':');
        if (colon >= 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void TExStringList::SetHeader(const QByteArray& name, const QByteArray& value)
{
    int i = IndexOfHeader(name);
    if (!value.isEmpty()) {
        if (i < 0) {
            append(QByteArray());
            i = size() - 1;
        }
        (*this)[i] = name + ": " + value;
    } else if (i >= 0) {
        removeAt(i);
    }
}
