#include "download/TReportReceiver.h"

#include <QEvent>

std::mutex& ReportHandOver()
{
    static std::mutex lock;
    return lock;
}

bool TReportReceiver::event(QEvent* e)
{
    // Whatever the engine wrote before it let go of the lock, the event itself included, is
    // visible from here on; the event's type is read only after that.
    ReportHandOver().lock();
    ReportHandOver().unlock();
    return QObject::event(e);
}
