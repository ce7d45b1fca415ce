#pragma once
// Which of the window's long-running commands are under way. Commands run inside their handlers
// and let events run, so a handler can be entered again from inside itself (a queued double
// click, a menu command, the activation check after a message box). A command enters the gate
// through a TCommandGuard before it starts; the guard leaves it again however the command ends.
#include <array>
#include <cstddef>
#include <initializer_list>

enum class TCommand {
    ActivateCheck,    // the download-directory check when the window becomes active
    DirectoryDialog,  // the directory chooser is open
    SaveLists,        // the list files are being written
    LoadLists,        // the list files are being read
    Download,         // a download run walks the file list or waits for its engines
    Document,         // Get document or Parse links
};
inline constexpr std::size_t CommandSlot(TCommand command) { return static_cast<std::size_t>(command); }
inline constexpr std::size_t CommandSlots = CommandSlot(TCommand::Document) + 1;

class TCommandGate {
public:
    bool Running(TCommand command) const { return FDepth[CommandSlot(command)] > 0; }
    bool RunningAny(std::initializer_list<TCommand> commands) const
    {
        for (TCommand command : commands)
            if (Running(command))
                return true;
        return false;
    }

    // Stop ends whatever runs: a command that holds a guard learns from its guard that a later
    // Stop came, even when the command that Stop belonged to has cleared the stop flag again.
    void Supersede() { ++FEpoch; }
    unsigned Epoch() const { return FEpoch; }

private:
    friend class TCommandGuard;
    std::array<int, CommandSlots> FDepth{};
    unsigned FEpoch = 0;
};

class TCommandGuard {
public:
    // Enters `command` unless that command itself is running already.
    TCommandGuard(TCommandGate& gate, TCommand command) : TCommandGuard(gate, command, {command}) {}
    // Enters `command` unless one of `refusedWhile` is running. A command that may nest in
    // itself (a save at exit during a save) leaves itself out of the list.
    TCommandGuard(TCommandGate& gate, TCommand command, std::initializer_list<TCommand> refusedWhile)
        : FGate(gate), FCommand(command), FEntered(!gate.RunningAny(refusedWhile)), FEpoch(gate.Epoch())
    {
        if (FEntered)
            ++FGate.FDepth[CommandSlot(FCommand)];
    }
    ~TCommandGuard()
    {
        if (FEntered)
            --FGate.FDepth[CommandSlot(FCommand)];
    }
    TCommandGuard(const TCommandGuard&) = delete;
    TCommandGuard& operator=(const TCommandGuard&) = delete;

    // False when the command was refused: the caller returns at once.
    explicit operator bool() const { return FEntered; }
    // A Stop came after this guard was taken.
    bool Superseded() const { return FGate.Epoch() != FEpoch; }

private:
    TCommandGate& FGate;
    const TCommand FCommand;
    const bool FEntered;
    const unsigned FEpoch;
};
