// String resources: the module's table through LoadStringA.
#include <gtest/gtest.h>

#include "module/module.h"
#include "platform/platform.h"

TEST(Strings, LoadStringCutsToTheBufferAndKeepsModulesApart) {
    char small[8];  // 10501 is "Reading BMP pixel rows"
    EXPECT_EQ(LoadStringA(tarvel::ModuleHandle(), 10501, small, sizeof small), 7);
    EXPECT_STREQ(small, "Reading");
    EXPECT_EQ(LoadStringA(tarvel::ModuleHandle(), 4242, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    static const STRINGRESOURCE other[] = {{10501, "other"}};
    static char anchor;
    RegisterStringTable(reinterpret_cast<HINSTANCE>(&anchor), other, 1);
    EXPECT_EQ(LoadStringA(reinterpret_cast<HINSTANCE>(&anchor), 10501, small, sizeof small), 5);
    EXPECT_EQ(tarvel::LoadResourceText(10501), "Reading BMP pixel rows");
}
