// The command gate and its guard: re-entry refused, nesting where allowed, release on every way
// out, and the Stop that supersedes a running command.
#include <QtTest>
#include <stdexcept>

#include "main/TCommandGuard.h"

class TestCommandGuard : public QObject {
    Q_OBJECT
private slots:
    void reentryIsRefusedUntilTheCommandEnds()
    {
        TCommandGate gate;
        {
            const TCommandGuard outer(gate, TCommand::DirectoryDialog);
            QVERIFY(bool(outer));
            QVERIFY(gate.Running(TCommand::DirectoryDialog));
            {
                const TCommandGuard again(gate, TCommand::DirectoryDialog);
                QVERIFY(!again);
            }
            // The refused guard's end must not end the command that runs.
            QVERIFY(gate.Running(TCommand::DirectoryDialog));
            // Other commands are not affected.
            const TCommandGuard other(gate, TCommand::ActivateCheck);
            QVERIFY(bool(other));
        }
        QVERIFY(!gate.RunningAny({TCommand::DirectoryDialog, TCommand::ActivateCheck}));
        const TCommandGuard later(gate, TCommand::DirectoryDialog);
        QVERIFY(bool(later));
    }

    void anExceptionEndsTheCommand()
    {
        TCommandGate gate;
        try {
            const TCommandGuard run(gate, TCommand::Download);
            throw std::runtime_error("failed fetch");
        } catch (const std::runtime_error&) {
        }
        QVERIFY(!gate.Running(TCommand::Download));
    }

    // A save may run inside a save (the save at exit); neither may start during a load, and a
    // load starts during neither.
    void nestingWhereTheCommandAllowsIt()
    {
        TCommandGate gate;
        const auto save = [&gate] { return TCommandGuard(gate, TCommand::SaveLists, {TCommand::LoadLists}); };
        {
            const TCommandGuard outer = save();
            QVERIFY(bool(outer));
            {
                const TCommandGuard inner = save();
                QVERIFY(bool(inner));
                const TCommandGuard load(gate, TCommand::LoadLists, {TCommand::LoadLists, TCommand::SaveLists});
                QVERIFY(!load);
            }
            QVERIFY(gate.Running(TCommand::SaveLists));  // the outer save still runs
        }
        QVERIFY(!gate.Running(TCommand::SaveLists));
        const TCommandGuard load(gate, TCommand::LoadLists, {TCommand::LoadLists, TCommand::SaveLists});
        QVERIFY(bool(load));
        QVERIFY(!save());
    }

    void stopSupersedesTheCommandsThatRun()
    {
        TCommandGate gate;
        const TCommandGuard first(gate, TCommand::Document, {});
        QVERIFY(!first.Superseded());
        gate.Supersede();
        QVERIFY(first.Superseded());
        // The command started after that Stop goes on until the next one.
        const TCommandGuard second(gate, TCommand::Document, {});
        QVERIFY(bool(second));
        QVERIFY(!second.Superseded());
        gate.Supersede();
        QVERIFY(second.Superseded());
        QVERIFY(first.Superseded());
    }
};

QTEST_APPLESS_MAIN(TestCommandGuard)
#include "test_commandguard.moc"
