// The terminal progress bar: one redrawn line on a terminal, few plain lines elsewhere.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "host/progress.h"

namespace {

std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    return text;
}

int count(const std::string& text, char c) {
    int n = 0;
    for (char t : text) n += t == c;
    return n;
}

}  // namespace

TEST(TerminalProgress, PlainLinesAreFewAndTheLastSaysDone) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        KORBAS::CTerminalProgress progress(f, false);
        KORBAS::IProgressWork& sink = progress;  // used through the host interface
        sink.SetTotal(1000);
        sink.SetText("Reading BMP pixel rows");
        for (int i = 0; i < 1000; ++i) sink.Advance(1);
        EXPECT_EQ(sink.GetPos(), 1000);
        EXPECT_EQ(sink.GetTotal(), 1000);
        sink.Finish();
    }
    const std::string text = contents(f);
    std::fclose(f);
    // One line when the text arrives, one when the phase completes; no carriage returns.
    EXPECT_EQ(count(text, '\n'), 2) << text;
    EXPECT_EQ(count(text, '\r'), 0);
    const std::string last = text.substr(text.rfind('\n', text.size() - 2) + 1);
    EXPECT_EQ(
        last.rfind("Reading BMP pixel rows [##############################] 100% 1000/1000", 0), 0u)
        << last;
}

TEST(TerminalProgress, TerminalRedrawsOneLineWithRateAndTimeLeft) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    KORBAS::CTerminalProgress progress(f, true);
    progress.SetText("Building layer 1 of 3");
    progress.SetTotal(200);
    for (int i = 0; i < 100; ++i) progress.Advance(1);
    const std::string half = progress.Describe();
    EXPECT_EQ(half.rfind("Building layer 1 of 3 [###############...............]  50% 100/200", 0),
              0u)
        << half;
    EXPECT_NE(half.find("/s "), std::string::npos) << half;
    EXPECT_NE(half.find(" left"), std::string::npos) << half;
    progress.Finish();
    const std::string text = contents(f);
    std::fclose(f);
    EXPECT_GE(count(text, '\r'), 2);
    EXPECT_EQ(count(text, '\n'), 1);  // only when the phase ends
    EXPECT_EQ(text.back(), '\n');
    // A phase without a total shows its text alone.
    KORBAS::CTerminalProgress idle(nullptr, true);
    idle.SetText(nullptr);
    EXPECT_EQ(idle.Describe(), "Working");
}
