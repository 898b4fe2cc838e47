#include "oflash/FlashResManagerUnit.h"
#include "oflash/SoundReturnPathUnit.h"

#include <gtest/gtest.h>
#include <stdexcept>

TEST(FlashResObject, StartsWithTheInitialValues) {
    TFlashResObjectList list;
    TFlashResObject* item = list.Add();
    EXPECT_EQ(item->SimplingIndex, 0);
    EXPECT_TRUE(item->SoundSimplingSoundPath.empty());
    EXPECT_EQ(item->StartX, 0);
    EXPECT_EQ(item->StartY, 0);
    EXPECT_TRUE(item->Pictures.empty());
    EXPECT_EQ(item->Collection(), &list);
}

TEST(FlashResObject, AssignCopiesValuesAndAnIndependentPictureList) {
    TFlashResObjectList list;
    TFlashResObject* source = list.Add();
    source->SimplingIndex = 3;
    source->SoundSimplingSoundPath = "/w/Sound/3_0.Mp3";
    source->StartX = 10;
    source->StartY = 20;
    source->Pictures = {"/w/Image/3_0.bmp", "/w/Image/3_1.bmp"};

    TFlashResObject* target = list.Add();
    target->Pictures = {"old"};
    target->Assign(*source);
    EXPECT_EQ(target->SimplingIndex, 3);
    EXPECT_EQ(target->SoundSimplingSoundPath, "/w/Sound/3_0.Mp3");
    EXPECT_EQ(target->StartX, 10);
    EXPECT_EQ(target->StartY, 20);
    ASSERT_EQ(target->Pictures.size(), 2u);

    source->Pictures.clear();
    EXPECT_EQ(target->Pictures.size(), 2u);
    EXPECT_EQ(target->Pictures[1], "/w/Image/3_1.bmp");
}

TEST(FlashResObject, AssignToItselfKeepsTheValues) {
    TFlashResObject item;
    item.Pictures = {"a", "b"};
    item.SimplingIndex = 7;
    item.Assign(item);
    EXPECT_EQ(item.Pictures.size(), 2u);
    EXPECT_EQ(item.SimplingIndex, 7);
}

TEST(FlashResObject, AssignFromAnotherKindOfItemIsRefused) {
    TCollectionItem plain(nullptr);
    TFlashResObject item;
    item.SimplingIndex = 4;
    EXPECT_THROW(item.Assign(plain), std::invalid_argument);
    EXPECT_EQ(item.SimplingIndex, 4);
}

TEST(FlashResObjectList, IndexOfFindsTheSameObjectOnly) {
    TFlashResObjectList list;
    TFlashResObject* first = list.Add();
    list.Add();
    TFlashResObject* third = list.Add();
    EXPECT_EQ(list.IndexOf(third), 2);
    EXPECT_EQ(list.IndexOf(first), 0);

    TFlashResObject outsider;
    outsider.Assign(*third); // equal values, but another object
    EXPECT_EQ(list.IndexOf(&outsider), -1);
    EXPECT_EQ(list.IndexOf(nullptr), -1);
}

TEST(FlashResObjectList, AddCountItemsDeleteAndClear) {
    TFlashResObjectList list;
    EXPECT_EQ(list.Count(), 0);
    for (int i = 0; i < 4; ++i)
        list.Add()->SimplingIndex = i;
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Items(2)->SimplingIndex, 2);
    list.Delete(1);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(1)->SimplingIndex, 2);
    EXPECT_THROW(list.Items(3), std::out_of_range);
    EXPECT_THROW(list.Items(-1), std::out_of_range);
    EXPECT_THROW(list.Delete(5), std::out_of_range);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(FlashResManager, OwnsAnEmptyList) {
    TFlashResManager manager;
    EXPECT_EQ(manager.ResList.Count(), 0);
    manager.ResList.Add();
    EXPECT_EQ(manager.ResList.Count(), 1);
}

TEST(ReturnPaths, StartEmptyAndKeepTheReportIds) {
    TSoundReturnPath sound;
    EXPECT_TRUE(sound.SoundPath.empty());
    EXPECT_EQ(sound.SegmentIndex, 0);
    TImageReturnPath image;
    EXPECT_TRUE(image.ImagePath.empty());
    EXPECT_EQ(image.PictureNo, 0);
    EXPECT_EQ(image.SegmentIndex, 0);
    EXPECT_EQ(WM_SOUNDSAMPLED, 0x464);
    EXPECT_EQ(WM_IMAGESAMPLED, 0x465);
}
