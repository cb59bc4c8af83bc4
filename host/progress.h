// KORBAS::IProgressWork, the host's progress sink, and a progress bar for
// terminals that implements it.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace KORBAS {

// A sink for the progress of one long piece of work. Callers pass it as a
// possibly null pointer; null means no reporting. No result of it is used.
//
// Slots, in this order (callers rely on the numbers): 0 SetTotal, 1 Advance,
// 2 SetPos, 3 GetPos, 4 GetTotal, 5 Finish, 6 SetText; the virtual destructor
// comes after them so that it shifts none of them.
// Threads: one thread at a time.
class IProgressWork {
  public:
    // Starts a new phase of total steps; the position goes back to 0.
    virtual void SetTotal(int total) = 0;
    // Moves the position on by steps (callers pass 1).
    virtual void Advance(int steps) = 0;
    // Sets the position directly. The default does nothing.
    virtual void SetPos(int pos);
    // The default returns 0.
    virtual int GetPos() const;
    // The default returns 0.
    virtual int GetTotal() const;
    // Ends the current phase (a display draws it complete). The default does nothing.
    virtual void Finish();
    // Describes what is being done now; text is copied.
    virtual void SetText(const char* text) = 0;

    virtual ~IProgressWork();

  protected:
    IProgressWork() = default;
    IProgressWork(const IProgressWork&) = default;
    IProgressWork& operator=(const IProgressWork&) = default;
};

// A progress bar on a stream (standard error by default). On a terminal it
// redraws one line in place with the text, a bar, the percentage, the rate in
// steps per second and the estimated time left; on anything else it prints a
// plain line at most every kPlainLineSeconds and at the end of each phase.
//
// Owns: nothing but its text. Failure: write errors on the stream are ignored.
// Threads: one thread at a time.
class CTerminalProgress final : public IProgressWork {
  public:
    // A plain line is printed at most this often when the stream is not a
    // terminal, so that logs stay short.
    static constexpr double kPlainLineSeconds = 5.0;
    // The terminal line is redrawn at most this often, so that drawing costs
    // nothing next to the work.
    static constexpr double kRedrawSeconds = 0.1;

    explicit CTerminalProgress(std::FILE* out = stderr);
    // As above, deciding explicitly whether the stream is a terminal.
    CTerminalProgress(std::FILE* out, bool terminal);
    ~CTerminalProgress() override;

    void SetTotal(int total) override;
    void Advance(int steps) override;
    void SetPos(int pos) override;
    int GetPos() const override { return m_pos; }
    int GetTotal() const override { return m_total; }
    void Finish() override;
    void SetText(const char* text) override;
    // Ends a redrawn line where it stands, without completing the phase, so
    // that a failure message starts on a line of its own.
    void Abandon();

    // The line as it would be drawn now (without the carriage return).
    std::string Describe() const;

  private:
    using clock = std::chrono::steady_clock;
    void show(bool force);

    std::FILE* m_out;
    bool m_terminal;
    std::string m_text;
    int m_total = 0;
    int m_pos = 0;
    bool m_lineOpen = false;  // a redrawn terminal line awaits its newline
    clock::time_point m_start;
    clock::time_point m_lastShown;
};

}  // namespace KORBAS
