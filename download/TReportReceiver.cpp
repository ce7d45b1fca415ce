#include "download/TReportReceiver.h"

#include <QEvent>

std::mutex& ReportHandOver()
{
    static std::mutex lock;
    return lock;
}

bool TReportReceiver::event(QEvent* e)
{
    if (e->type() == QEvent::MetaCall) {
        // Whatever the engine wrote before it let go of the lock is visible from here on.
        ReportHandOver().lock();
        ReportHandOver().unlock();
    }
    return QObject::event(e);
}
