#include "platform/OwnerLink.h"

#include <QObject>

TOwnerLink::TOwnerLink(QObject* owner, std::function<void()> destroy)
{
    if (owner)
        FConnection = QObject::connect(owner, &QObject::destroyed, std::move(destroy));
}

TOwnerLink::~TOwnerLink() { QObject::disconnect(FConnection); }
