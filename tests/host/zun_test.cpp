// zunlang: reference counting and copies of counted objects.
#include <gtest/gtest.h>

#include "host/zun.h"

namespace {

class Counted : public zun::IRefCounter {
  public:
    explicit Counted(int* deaths) : m_deaths(deaths) {}

  protected:
    ~Counted() override { ++*m_deaths; }

  private:
    int* m_deaths;
};

}  // namespace

TEST(Zun, TheLastSubReferenceDeletesAndCountsAreNeverCopied) {
    int deaths = 0;
    Counted* a = new Counted(&deaths);
    EXPECT_EQ(a->AddReference(), 2u);
    EXPECT_EQ(a->SubReference(), 1u);
    EXPECT_EQ(deaths, 0);
    Counted* b = new Counted(*a);  // a copy starts with one reference of its own
    a->AddReference();
    *b = *a;  // assignment keeps b's count
    EXPECT_EQ(b->GetReferenceCount(), 1u);
    EXPECT_EQ(b->SubReference(), 0u);
    EXPECT_EQ(deaths, 1);
    a->SubReference();
    EXPECT_EQ(a->SubReference(), 0u);
    EXPECT_EQ(deaths, 2);
}
