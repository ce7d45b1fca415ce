// The entry-point guard's developer log and the event pacer's schedule.
#include <QtTest>
#include <stdexcept>

#include "http/SockExceptions.h"
#include "platform/EventPacer.h"
#include "platform/Guarded.h"

namespace {
QStringList Logged;
void Record(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    Logged << QString::fromLatin1(context.category) + QLatin1Char(' ') + text;
}
}  // namespace

class TestGuards : public QObject {
    Q_OBJECT
private slots:
    void init() { Logged.clear(); }

    void plannedFailuresAreSilentFaultsAreLogged()
    {
        const QtMessageHandler previous = qInstallMessageHandler(Record);
        QLoggingCategory::setFilterRules(QStringLiteral("kelvorn.*=true"));

        Guarded(lcHttp(), [] { throw ESilentAbort(); });
        Guarded(lcHttp(), [] { throw EAbortError("Aborted"); });
        Guarded(lcHttp(), [] { throw EConvertError("not a number"); });
        QVERIFY2(Logged.isEmpty(), qPrintable(Logged.join('\n')));

        Guarded(lcDownload(), [] { throw std::runtime_error("broken invariant"); });
        QCOMPARE(Logged.size(), 1);
        QVERIFY(Logged[0].startsWith(QStringLiteral("kelvorn.download ")));
        QVERIFY(Logged[0].contains(QStringLiteral("broken invariant")));

        Guarded(lcMain(), [] { throw 42; });
        QCOMPARE(Logged.size(), 2);
        QVERIFY(Logged[1].startsWith(QStringLiteral("kelvorn.main ")));

        // Off by default: the same fault writes nothing without the logging rule.
        QLoggingCategory::setFilterRules(QString());
        Guarded(lcDownload(), [] { throw std::runtime_error("quiet"); });
        QCOMPARE(Logged.size(), 2);
        qInstallMessageHandler(previous);
    }

    void pacerTurnsByItsSchedule()
    {
        constexpr qint64 Hour = 3600LL * 1000 * 1000 * 1000;
        int turns = 0;
        TEventPacer now(Hour, 1, [&] { ++turns; });
        now.MaybeTurn();  // the first turn is due at once
        QCOMPARE(turns, 1);
        now.MaybeTurn();  // the next one only after the minimum
        now.MaybeTurn();
        QCOMPARE(turns, 1);
        now.Turn();  // a forced turn runs whatever the pace
        QCOMPARE(turns, 2);

        TEventPacer later(
            Hour, 1, [&] { ++turns; }, TEventPacer::First::AfterMinimum);
        later.MaybeTurn();
        QCOMPARE(turns, 2);
    }
};

QTEST_GUILESS_MAIN(TestGuards)
#include "test_guards.moc"
