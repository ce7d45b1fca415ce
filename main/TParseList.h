#pragma once
// The hidden parse list: document links of the main document in the order found, with an index
// so that the duplicate test does not walk the list.
#include <QByteArray>
#include <QByteArrayList>
#include <QObject>
#include <QSet>

class TParseList : public QObject {
    Q_OBJECT
public:
    explicit TParseList(QObject* parent = nullptr) : QObject(parent) {}
    int Count() const { return int(FLines.size()); }
    const QByteArray& Line(int index) const { return FLines.at(index); }
    void Add(const QByteArray& line)
    {
        FLines.append(line);
        FIndex.insert(line);
    }
    bool Contains(const QByteArray& line) const { return FIndex.contains(line); }
    void Clear()
    {
        FLines.clear();
        FIndex.clear();
    }

private:
    QByteArrayList FLines;
    QSet<QByteArray> FIndex;
};
