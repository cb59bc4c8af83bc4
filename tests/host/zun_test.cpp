// zunlang: reference counting, copies of counted objects, strings, points.
#include <gtest/gtest.h>

#include "host/zun.h"

namespace {

class Counted : public zun::IRefCounter {
  public:
    explicit Counted(int* deaths) : m_deaths(deaths) {}
    int value = 0;

  protected:
    ~Counted() override { ++*m_deaths; }

  private:
    int* m_deaths;
};

}  // namespace

TEST(Zun, TheLastSubReferenceDeletesAndCountsAreNeverCopied) {
    int deaths = 0;
    Counted* a = new Counted(&deaths);
    EXPECT_EQ(a->GetReferenceCount(), 1u);
    EXPECT_EQ(a->AddReference(), 2u);
    EXPECT_EQ(a->SubReference(), 1u);
    EXPECT_EQ(deaths, 0);

    Counted* b = new Counted(*a);  // a copy starts with one reference of its own
    EXPECT_EQ(b->GetReferenceCount(), 1u);
    a->AddReference();
    a->value = 7;
    *b = *a;  // assignment copies the value, not the count
    EXPECT_EQ(b->value, 7);
    EXPECT_EQ(b->GetReferenceCount(), 1u);
    EXPECT_EQ(a->GetReferenceCount(), 2u);

    EXPECT_EQ(b->SubReference(), 0u);
    EXPECT_EQ(deaths, 1);
    a->SubReference();
    EXPECT_EQ(a->SubReference(), 0u);
    EXPECT_EQ(deaths, 2);
}

TEST(Zun, StringsAndPoints) {
    EXPECT_TRUE(zun::String(nullptr).IsEmpty());
    EXPECT_EQ(zun::String("COverlaidImage"), zun::String("COverlaidImage"));
    const zun::String bytes("a\0b", 3);
    EXPECT_EQ(bytes.GetLength(), 3u);
    EXPECT_NE(bytes, zun::String("a"));
    const zun::geom::PNT_3D p(1.5, -2.0);
    EXPECT_EQ(p.z, 0.0);
    EXPECT_EQ(sizeof(zun::geom::PNT_3D), 3 * sizeof(double));
}
