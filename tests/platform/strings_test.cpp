// String resources: the module's table through LoadStringA and LoadResourceText.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/platform.h"
#include "pyramid/resources.h"

TEST(Strings, ResourceTextsAndBufferLimits) {
    char text[64];  // 10500 formats the layer being made and the last layer
    std::snprintf(text, sizeof text, tarvel::LoadResourceText(10500).c_str(), 2, 5);
    EXPECT_STREQ(text, "Building layer 2 of 5");
    EXPECT_EQ(tarvel::LoadResourceText(4242), "");
    // LoadStringA truncates to the buffer, always terminated; unknown ids give "".
    char small[8];
    EXPECT_EQ(LoadStringA(tarvel::ModuleHandle(), 10501, small, sizeof small), 7);
    EXPECT_STREQ(small, "Reading");
    EXPECT_EQ(LoadStringA(tarvel::ModuleHandle(), 4242, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    // Another module's strings are its own.
    static const STRINGRESOURCE other[] = {{10500, "other"}};
    static char anchor;
    RegisterStringTable(reinterpret_cast<HINSTANCE>(&anchor), other, 1);
    EXPECT_EQ(LoadStringA(reinterpret_cast<HINSTANCE>(&anchor), 10500, small, sizeof small), 5);
    EXPECT_EQ(tarvel::LoadResourceText(10500).substr(0, 8), "Building");
}
