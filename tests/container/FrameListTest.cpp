#include "container/MediaResManagerUnit.h"

#include <gtest/gtest.h>

TEST(FrameList, KeepsItemsInOrderAndAnswersPastTheEndWithNothing) {
    TMediaResManager list;
    list.AddFile("/a/000001.bmp", 0);
    TMediaResFileItem& second = list.AddFile("/a/000002.bmp", 100);
    EXPECT_EQ(second.Time, 100);
    EXPECT_EQ(second.Reserved, 0);
    for (int i = 2; i < 50; ++i)
        list.AddFile("/a/x" + std::to_string(i), i * 100);
    // The reference handed out earlier survives later additions.
    EXPECT_EQ(second.FileName, "/a/000002.bmp");
    ASSERT_EQ(list.Count(), 50u);
    EXPECT_EQ(list.Items(0)->FileName, "/a/000001.bmp");
    EXPECT_EQ(list.Items(49)->Time, 4900);
    EXPECT_EQ(list.Items(50), nullptr);
    EXPECT_EQ(list.Items(1000), nullptr);
}

TEST(FrameList, ClearKeepsTheDuration) {
    TMediaResManager list;
    list.AddFile("f", 0);
    list.Duration = 12345;
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Items(0), nullptr);
    EXPECT_EQ(list.Duration, 12345);
}

TEST(FrameList, AssignCopiesTheItems) {
    TMediaResManager a, b;
    a.AddFile("one", 10);
    a.AddFile("two", 20);
    b.AddFile("old", 0);
    b.Assign(a);
    ASSERT_EQ(b.Count(), 2u);
    EXPECT_EQ(b.Items(1)->FileName, "two");
    a.Clear();
    EXPECT_EQ(b.Items(0)->FileName, "one");
    b.Assign(b);
    EXPECT_EQ(b.Count(), 2u);
}
