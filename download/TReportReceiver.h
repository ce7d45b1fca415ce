#pragma once
// Engine reports cross from the engine's thread to the receiver's through Qt's event queue, whose
// lock lies inside Qt, where ThreadSanitizer cannot see it: the arguments that Qt unpacks on the
// receiving side would look unsynchronised with the engine that wrote them. So every report is
// emitted while the hand-over lock below is held, and a receiver takes the same lock before Qt
// unpacks a queued call. That is a real hand-over the sanitizer can follow, not an exemption; it
// costs one uncontended lock per report (at most one per 16 ms per engine, plus hint and outcome).
#include <QObject>
#include <mutex>

// Held by an engine while it emits a report.
std::mutex& ReportHandOver();

// The context object for connections to an engine's reports.
class TReportReceiver : public QObject {
public:
    using QObject::QObject;

protected:
    bool event(QEvent* e) override;
};
