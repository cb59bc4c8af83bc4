// CTerminalProgress: a progress bar redrawn in place on a terminal, or plain
// lines now and then on anything else.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "host/progress.h"

namespace KORBAS {

namespace {

// Characters of the bar between its brackets.
constexpr int kBarWidth = 30;

std::string duration(double seconds) {
    if (!(seconds >= 0.0) || seconds > 359999.0) return "--:--";
    const long s = std::lround(seconds);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::string rate_text(double perSecond) {
    char text[32];
    if (perSecond >= 1e6)
        std::snprintf(text, sizeof text, "%.1fM/s", perSecond / 1e6);
    else if (perSecond >= 1e4)
        std::snprintf(text, sizeof text, "%.1fk/s", perSecond / 1e3);
    else
        std::snprintf(text, sizeof text, "%.0f/s", perSecond);
    return text;
}

}  // namespace

CTerminalProgress::CTerminalProgress(std::FILE* out)
    : CTerminalProgress(out, out && isatty(fileno(out))) {}

CTerminalProgress::CTerminalProgress(std::FILE* out, bool terminal)
    : m_out(out), m_terminal(terminal), m_start(clock::now()), m_lastShown(m_start) {}

CTerminalProgress::~CTerminalProgress() {
    if (m_lineOpen && m_out) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
}

void CTerminalProgress::SetTotal(int total) {
    // A phase left unfinished keeps its line; a line with only the text is reused.
    if (m_lineOpen && m_pos > 0 && m_out) {
        std::fputc('\n', m_out);
        m_lineOpen = false;
    }
    m_total = total > 0 ? total : 0;
    m_pos = 0;
    m_start = clock::now();
    m_lastShown = m_start;
    show(m_terminal);  // a log gets its first line from SetText or from progress
}

void CTerminalProgress::Advance(int steps) {
    m_pos += steps;
    show(m_total > 0 && m_pos == m_total);
}

void CTerminalProgress::SetPos(int pos) {
    m_pos = pos;
    show(false);
}

void CTerminalProgress::Finish() {
    if (m_pos < m_total) {
        m_pos = m_total;
        show(true);
    }
    if (m_lineOpen && m_out) std::fputc('\n', m_out);
    m_lineOpen = false;
    if (m_out) std::fflush(m_out);
}

void CTerminalProgress::Abandon() {
    if (m_lineOpen && m_out) std::fputc('\n', m_out);
    m_lineOpen = false;
    if (m_out) std::fflush(m_out);
}

void CTerminalProgress::SetText(const char* text) {
    // New text after a finished phase starts the next one: its counts must not
    // show under the new text.
    if (m_total > 0 && m_pos >= m_total) {
        if (m_lineOpen && m_out) std::fputc('\n', m_out);
        m_lineOpen = false;
        m_total = m_pos = 0;
    }
    m_text = text ? text : "";
    show(true);
}

std::string CTerminalProgress::Describe() const {
    std::string line = m_text.empty() ? std::string("Working") : m_text;
    if (m_total <= 0) return line;
    const int pos = m_pos < 0 ? 0 : (m_pos > m_total ? m_total : m_pos);
    const double fraction = static_cast<double>(pos) / m_total;
    const int filled = static_cast<int>(fraction * kBarWidth);
    line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] ";
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%3d%% %d/%d", static_cast<int>(fraction * 100), pos,
                  m_total);
    line += numbers;
    const double elapsed = std::chrono::duration<double>(clock::now() - m_start).count();
    if (pos > 0 && elapsed > 0.0) {
        const double rate = pos / elapsed;
        line += " " + rate_text(rate);
        line += pos < m_total ? " " + duration((m_total - pos) / rate) + " left"
                              : " in " + duration(elapsed);
    }
    return line;
}

// Terminal: redraw in place at most every kRedrawSeconds. Elsewhere: one line
// at most every kPlainLineSeconds, and one when a phase completes.
void CTerminalProgress::show(bool force) {
    if (!m_out) return;
    const clock::time_point now = clock::now();
    const double since = std::chrono::duration<double>(now - m_lastShown).count();
    if (m_terminal) {
        if (!force && since < kRedrawSeconds) return;
        std::fprintf(m_out, "\r%s\033[K", Describe().c_str());
        m_lineOpen = true;
        if (m_total > 0 && m_pos >= m_total) {  // a finished phase keeps its line
            std::fputc('\n', m_out);
            m_lineOpen = false;
        }
    } else {
        const bool complete = m_total > 0 && m_pos >= m_total;
        if (!complete && (!force || m_pos > 0) && since < kPlainLineSeconds) return;
        std::fprintf(m_out, "%s\n", Describe().c_str());
    }
    std::fflush(m_out);
    m_lastShown = now;
}

}  // namespace KORBAS
