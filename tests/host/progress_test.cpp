// The terminal progress bar: one redrawn line on a terminal, few plain lines elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "host/progress.h"

namespace {

// Runs a 200-step phase half way, checks the line, finishes, and starts the
// next phase by new text; returns what the bar wrote.
std::string run(bool terminal) {
    std::FILE* f = std::tmpfile();
    std::string text;
    {
        KORBAS::CTerminalProgress progress(f, terminal);
        KORBAS::IProgressWork& sink = progress;  // used through the host interface
        sink.SetText("Building layer 1 of 3");
        sink.SetTotal(200);
        for (int i = 0; i < 100; ++i) sink.Advance(1);
        const std::string half = progress.Describe(),
                          start =
                              "Building layer 1 of 3 [###############...............]  50% 100/200";
        EXPECT_EQ(half.substr(0, start.size()), start);
        EXPECT_NE(half.find("/s "), std::string::npos) << half;  // the rate
        EXPECT_NE(half.find(" left"), std::string::npos) << half;
        for (int i = 0; i < 100; ++i) sink.Advance(1);
        sink.Finish();
        // New text after a finished phase starts afresh: no counts of the old one.
        sink.SetText("Writing");
        EXPECT_EQ(progress.Describe(), "Writing");
        EXPECT_EQ(sink.GetPos(), 0);
    }
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    std::fclose(f);
    return text;
}

long count(const std::string& text, char c) {
    return static_cast<long>(std::count(text.begin(), text.end(), c));
}

}  // namespace

TEST(TerminalProgress, PlainLinesAreFewWhileATerminalRedrawsOneLine) {
    // Plain: a line when the text arrives, one when the phase completes, one
    // for the new text; no carriage returns.
    const std::string plain = run(false);
    EXPECT_EQ(count(plain, '\n'), 3) << plain;
    EXPECT_EQ(count(plain, '\r'), 0);
    EXPECT_EQ(plain.substr(plain.rfind('\n', plain.size() - 2)), "\nWriting\n");
    // Terminal: redrawn in place; a newline only when a phase ends and at the end.
    const std::string term = run(true);
    EXPECT_GE(count(term, '\r'), 3);
    EXPECT_EQ(count(term, '\n'), 2) << term;
    EXPECT_NE(term.find("\rBuilding layer 1 of 3 [##############################] 100% 200/200"),
              std::string::npos);
    EXPECT_EQ(term.substr(term.rfind('\r')), "\rWriting\033[K\n");
}
