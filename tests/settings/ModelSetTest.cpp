#include "settings/LMSetConstUnit.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

enum class Profile { Base, LM41, LM52, LM52A };

struct ModelRow {
    const char* name;
    std::function<bool(const TLMSetConst&)> isClass;   // exactly this class
    std::function<bool(const TLMSetConst*)> hasParent; // derives from the parent class
    int width, height;
    float scale;
    int previewWidth, previewHeight;
    Profile profile;
};

template <class T> bool exactly(const TLMSetConst& s) {
    return typeid(s) == typeid(T);
}
template <class T> bool derives(const TLMSetConst* s) {
    return dynamic_cast<const T*>(s) != nullptr;
}

const ModelRow modelTable[] = {
    {"LM17", exactly<TLMSetConst_LM17>, derives<TLMSetConst>, 240, 120, 2.0f, 480, 240,
     Profile::Base},
    {"LM23", exactly<TLMSetConst_LM23>, derives<TLMSetConst_LM17>, 240, 120, 2.0f, 480, 240,
     Profile::Base},
    {"LM24", exactly<TLMSetConst_LM24>, derives<TLMSetConst_LM17>, 240, 120, 2.0f, 480, 240,
     Profile::Base},
    {"LM24+", exactly<TLMSetConst_LM24A>, derives<TLMSetConst>, 240, 120, 2.0f, 480, 240,
     Profile::Base},
    {"LM36+", exactly<TLMSetConst_LM36A>, derives<TLMSetConst_LM24A>, 240, 120, 2.0f, 480, 240,
     Profile::Base},
    {"LM36T", exactly<TLMSetConst_LM36T>, derives<TLMSetConst_LM24A>, 240, 120, 2.0f, 480, 240,
     Profile::Base},
    {"LM75", exactly<TLMSetConst_LM75>, derives<TLMSetConst>, 320, 240, 1.5f, 480, 360,
     Profile::Base},
    {"LM52", exactly<TLMSetConst_LM52>, derives<TLMSetConst_LM75>, 320, 240, 1.5f, 480, 360,
     Profile::LM52},
    {"LM41", exactly<TLMSetConst_LM41>, derives<TLMSetConst_LM75>, 320, 240, 1.5f, 480, 360,
     Profile::LM41},
    {"LM63", exactly<TLMSetConst_LM52A>, derives<TLMSetConst_LM52>, 320, 240, 1.5f, 480, 360,
     Profile::LM52A},
};

bool profileIs(const TLMSetVideoInfo& p, Profile kind) {
    switch (kind) {
    case Profile::Base:
        return typeid(p) == typeid(TLMSetVideoInfo);
    case Profile::LM41:
        return typeid(p) == typeid(TLMSetVideoInfo_LM41);
    case Profile::LM52:
        return typeid(p) == typeid(TLMSetVideoInfo_LM52);
    case Profile::LM52A:
        return typeid(p) == typeid(TLMSetVideoInfo_LM52A) &&
               dynamic_cast<const TLMSetVideoInfo_LM52*>(&p) != nullptr;
    }
    return false;
}

class ModelTable : public testing::TestWithParam<ModelRow> {};

TEST_P(ModelTable, SetHasTheModelsClassScreenAndProfile) {
    const ModelRow& row = GetParam();
    std::unique_ptr<TLMSetConst> set = CreateModelSet(row.name);
    ASSERT_TRUE(set);
    EXPECT_EQ(set->ModelName, row.name);
    EXPECT_TRUE(row.isClass(*set));
    EXPECT_TRUE(row.hasParent(set.get()));
    EXPECT_TRUE(IsModelSetOf(*set, row.name));
    ASSERT_TRUE(set->ScreenSize);
    EXPECT_EQ(set->ScreenSize->Width, row.width);
    EXPECT_EQ(set->ScreenSize->Height, row.height);
    EXPECT_FLOAT_EQ(set->ScreenSize->Scale, row.scale);
    EXPECT_EQ(set->ScreenSize->ScaledWidth(), row.previewWidth);
    EXPECT_EQ(set->ScreenSize->ScaledHeight(), row.previewHeight);
    EXPECT_EQ(bool(dynamic_cast<TLMSetSCreenSize_LM75*>(set->ScreenSize.get())), row.width == 320);
    ASSERT_TRUE(set->VideoInfo);
    EXPECT_TRUE(profileIs(*set->VideoInfo, row.profile));
    EXPECT_EQ(set->HasVideoFormat(), row.profile != Profile::Base);
    EXPECT_EQ(set->ModelList, ModelNames());
}

INSTANTIATE_TEST_SUITE_P(AllModels, ModelTable, testing::ValuesIn(modelTable),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (c == '+')
                                     c = 'A';
                             return n;
                         });

TEST(ModelList, HoldsTheTenNamesInListOrder) {
    const std::vector<std::string> expected{"LM17",  "LM23", "LM24", "LM24+", "LM36+",
                                            "LM36T", "LM75", "LM52", "LM41",  "LM63"};
    EXPECT_EQ(ModelNames(), expected);
    TLMSetConst base;
    EXPECT_EQ(base.ModelList, expected);
}

TEST(ModelSet, DirectConstructionRunsTheMostDerivedChain) {
    TLMSetConst_LM52A lm63;
    EXPECT_EQ(lm63.ModelName, "LM63");
    EXPECT_TRUE(dynamic_cast<TLMSetVideoInfo_LM52A*>(lm63.VideoInfo.get()));
    EXPECT_TRUE(dynamic_cast<TLMSetSCreenSize_LM75*>(lm63.ScreenSize.get()));
    TLMSetConst_LM36T lm36t;
    EXPECT_EQ(lm36t.ModelName, "LM36T");
}

// A further model whose own InitModel fills its profile before calling its parent: the
// parents must keep what it made and its name must come last.
class TLMSetConst_Probe : public TLMSetConst_LM52A {
public:
    TLMSetConst_Probe() : TLMSetConst_LM52A(NoInit{}) { InitModel(); }

protected:
    void InitModel() override {
        if (!VideoInfo)
            VideoInfo = std::make_unique<TLMSetVideoInfo_LM41>();
        TLMSetConst_LM52A::InitModel();
        ModelName = "PROBE";
    }
};

TEST(ModelSet, MostDerivedClassWinsForEveryField) {
    TLMSetConst_Probe probe;
    EXPECT_EQ(probe.ModelName, "PROBE");
    EXPECT_EQ(typeid(*probe.VideoInfo), typeid(TLMSetVideoInfo_LM41));
    EXPECT_EQ(typeid(*probe.ScreenSize), typeid(TLMSetSCreenSize_LM75));
}

TEST(ModelSet, StartUpBaseClassIsNamedLM63WithBaseProfileAndSmallScreen) {
    TLMSetConst base;
    EXPECT_EQ(base.ModelName, "LM63");
    EXPECT_EQ(typeid(*base.VideoInfo), typeid(TLMSetVideoInfo));
    EXPECT_EQ(base.ScreenSize->Width, 240);
    EXPECT_EQ(base.ScreenSize->Height, 120);
    EXPECT_FALSE(base.HasVideoFormat());
    EXPECT_FALSE(IsModelSetOf(base, "LM63"));
}

TEST(ModelSet, NamesAreMatchedWithoutLetterCase) {
    auto set = CreateModelSet("lm36+");
    ASSERT_TRUE(set);
    EXPECT_EQ(set->ModelName, "LM36+");
    EXPECT_FALSE(CreateModelSet("LM52A"));
    EXPECT_FALSE(CreateModelSet(""));
    EXPECT_FALSE(CreateModelSet("LM99"));
}

struct FormatRow {
    const char* model;
    int videoType;
    uint32_t formatWord;
};

class FormatWord : public testing::TestWithParam<FormatRow> {};

TEST_P(FormatWord, CombinesTheProfileBits) {
    auto set = CreateModelSet(GetParam().model);
    set->VideoInfo->VideoType = uint8_t(GetParam().videoType);
    EXPECT_EQ(set->VideoInfo->GetFormatWord(), GetParam().formatWord);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, FormatWord,
    testing::Values(FormatRow{"LM41", 1, 0x00020101}, FormatRow{"LM41", 2, 0x00020101},
                    FormatRow{"LM52", 1, 0x00820101}, FormatRow{"LM52", 2, 0x00820101},
                    FormatRow{"LM63", 1, 0x81820781}, FormatRow{"LM63", 2, 0x82820781},
                    FormatRow{"LM63", 0, 0x01820781}, FormatRow{"LM63", 3, 0x01820781}));

TEST(VideoProfile, KeyFrameIntervalFollowsPlaySpeed) {
    const std::pair<const char*, int> rows[] = {{"LM41", 36}, {"LM52", 24}, {"LM63", 24}};
    for (const auto& [model, interval] : rows) {
        auto set = CreateModelSet(model);
        set->VideoInfo->PlaySpeed = 12;
        EXPECT_EQ(set->VideoInfo->GetKeyFrameInterval(), interval) << model;
        EXPECT_EQ(set->VideoInfo->GetHeadOption(), 1) << model;
    }
}

TEST(VideoProfile, ClassDefaults) {
    auto lm63 = CreateModelSet("LM63");
    const TLMSetVideoInfo& p = *lm63->VideoInfo;
    EXPECT_EQ(p.VideoWidth, 320);
    EXPECT_EQ(p.VideoHeight, 240);
    EXPECT_TRUE(p.Srt);
    EXPECT_EQ(p.PlaySpeed, 10);
    EXPECT_EQ(p.CompressGrade, 80);
    auto lm41 = CreateModelSet("LM41");
    EXPECT_EQ(lm41->VideoInfo->VideoWidth, 144);
    EXPECT_EQ(lm41->VideoInfo->VideoHeight, 112);
    EXPECT_FALSE(lm41->VideoInfo->Srt);
    TLMSetConst base;
    EXPECT_EQ(base.VideoInfo->PlaySpeed, 0);
}

TEST(VideoProfile, BaseProfileHasNoVideoConstants) {
    TLMSetConst base;
    EXPECT_THROW(base.VideoInfo->GetFormatWord(), std::logic_error);
    EXPECT_THROW(base.VideoInfo->GetKeyFrameInterval(), std::logic_error);
    EXPECT_EQ(base.VideoInfo->GetFlagBits(), 1);
}

TEST(VideoProfile, ChaptersAreAlwaysTheSingleEntry100) {
    auto set = CreateModelSet("LM52");
    set->VideoInfo->Chapters = {1, 2, 3};
    EXPECT_EQ(set->VideoInfo->GetChapters(), std::vector<uint32_t>{100});
    EXPECT_EQ(set->VideoInfo->GetChapters(), std::vector<uint32_t>{100});
}

TEST(VideoProfile, FileListWalk) {
    auto set = CreateModelSet("LM52");
    TLMSetVideoInfo& p = *set->VideoInfo;
    p.FileList = {{"/v/a.avi"}, {"/v/b.avi"}};
    p.FileIndex = -1;
    EXPECT_EQ(p.GetCurrentFile(), "");
    EXPECT_EQ(p.GetNextFile(), "/v/a.avi");
    EXPECT_EQ(p.GetMp3FileName(-1), "/v/a.mp3");
    EXPECT_EQ(p.GetMp3FileName(1), "/v/b.mp3");
    EXPECT_EQ(p.GetNextFile(), "/v/b.avi");
    EXPECT_EQ(p.GetNextFile(), "");
    EXPECT_EQ(p.GetMp3FileName(-1), "");
    EXPECT_EQ(p.GetCurrentFile(), "");
    p.SetBaseFrameCount(7);
    EXPECT_EQ(p.BaseFrames.size(), 7u);
}

} // namespace
