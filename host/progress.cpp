// KORBAS::IProgressWork defaults and the terminal progress bar.
#include "host/progress.h"

namespace KORBAS {

void IProgressWork::SetPos(int) {}
int IProgressWork::GetPos() const {
    return 0;
}
int IProgressWork::GetTotal() const {
    return 0;
}
void IProgressWork::Finish() {}
IProgressWork::~IProgressWork() = default;

CTerminalProgress::CTerminalProgress(std::FILE* out) : CTerminalProgress(out, false) {}
CTerminalProgress::CTerminalProgress(std::FILE* out, bool terminal)
    : m_out(out), m_terminal(terminal), m_start(clock::now()), m_lastShown(m_start) {}
CTerminalProgress::~CTerminalProgress() = default;
void CTerminalProgress::SetTotal(int total) {
    m_total = total;
    m_pos = 0;
}
void CTerminalProgress::Advance(int steps) {
    m_pos += steps;
}
void CTerminalProgress::SetPos(int pos) {
    m_pos = pos;
}
void CTerminalProgress::Finish() {}
void CTerminalProgress::SetText(const char* text) {
    m_text = text ? text : "";
}
std::string CTerminalProgress::Describe() const {
    return m_text;
}
void CTerminalProgress::show(bool) {}

}  // namespace KORBAS
