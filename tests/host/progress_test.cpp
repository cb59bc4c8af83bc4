// The terminal progress bar: one redrawn line on a terminal, few plain lines elsewhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "host/progress.h"

namespace {

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// What a progress bar wrote to its stream.
std::string contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
    std::fseek(f, 0, SEEK_END);  // the bar may write again
    return text;
}

}  // namespace

TEST(TerminalProgress, PlainLinesAreFewAndTheLastSaysDone) {
    File f(std::tmpfile(), &std::fclose);
    ASSERT_NE(f, nullptr);
    {
        KORBAS::CTerminalProgress progress(f.get(), false);
        KORBAS::IProgressWork& sink = progress;  // used through the host interface
        sink.SetTotal(1000);
        sink.SetText("Reading BMP pixel rows");
        for (int i = 0; i < 1000; ++i) sink.Advance(1);
        sink.Finish();
    }
    const std::string text = contents(f.get());
    // One line when the text arrives, one when the phase completes; no carriage returns.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 0);
    EXPECT_NE(text.find("\nReading BMP pixel rows [##############################] 100% 1000/1000"),
              std::string::npos)
        << text;
}

TEST(TerminalProgress, TerminalRedrawsOneLineWithRateAndTimeLeft) {
    File f(std::tmpfile(), &std::fclose);
    ASSERT_NE(f, nullptr);
    KORBAS::CTerminalProgress progress(f.get(), true);
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
    // New text after a finished phase starts afresh: no counts of the old one.
    progress.SetText("Writing");
    EXPECT_EQ(progress.Describe(), "Writing");
    EXPECT_EQ(progress.GetPos(), 0);
    const std::string text = contents(f.get());
    EXPECT_GE(std::count(text.begin(), text.end(), '\r'), 3);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1);  // only when the phase ended
    EXPECT_EQ(text.substr(text.rfind('\r')), "\rWriting\033[K");
}
