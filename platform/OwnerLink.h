#pragma once
// Component ownership: a component created with an owner is destroyed together with that owner,
// unless the component has been destroyed first (its link then goes with it).
#include <QMetaObject>
#include <functional>

class QObject;

class TOwnerLink {
public:
    // `destroy` deletes the component (and with it this link). A null owner links nothing.
    TOwnerLink(QObject* owner, std::function<void()> destroy);
    ~TOwnerLink();
    TOwnerLink(const TOwnerLink&) = delete;
    TOwnerLink& operator=(const TOwnerLink&) = delete;

private:
    QMetaObject::Connection FConnection;
};
