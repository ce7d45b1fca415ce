#pragma once
// A list of text lines with helpers for "Name: value" header lines.
#include <QByteArray>
#include <QByteArrayList>

class TExStringList : public QByteArrayList {
public:
    using QByteArrayList::QByteArrayList;

    // Index of the first line holding ":" whose text before the first ":" equals name,
    // ignoring ASCII letter case; -1 when there is none.
    int IndexOfHeader(const QByteArray& name) const;

    // Sets the line of that name to "name: value" (appending one when missing); an empty value
    // deletes the line instead.
    void SetHeader(const QByteArray& name, const QByteArray& value);
};
