#include "core/uProgressSink.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SamplingParameterUnit.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct Model {
    std::unique_ptr<TLMSetConst> set;
    TSamplingParameter p;
    explicit Model(const char* name) : set(CreateModelSet(name)) {
        p.ModelSet = [this] { return set.get(); };
    }
};

enum Msg {
    LeftOut,
    TopOut,
    WidthOut,
    HeightOut,
    LeftWidthOut,
    TopHeightOut,
    HeightSmall,
    WidthSmall,
    Valid
};

struct CheckRow {
    const char* what;
    TAreaRect area; // Left, Top, Height, Width
    Msg message;
};

class SamplingCheck : public testing::TestWithParam<CheckRow> {};

// A 240 x 120 x 2.0 model: bounds 480 x 240.
TEST_P(SamplingCheck, FirstFailingTestGivesTheMessage) {
    Model m("LM17");
    std::string message;
    EXPECT_EQ(m.p.CheckSamplingArea(GetParam().area, message), GetParam().message == Valid);
    EXPECT_EQ(message, SamplingAreaMessages[GetParam().message]);
}

INSTANTIATE_TEST_SUITE_P(Rules, SamplingCheck,
                         testing::Values(CheckRow{"leftNegative", {-10, 20, 100, 50}, LeftOut},
                                         CheckRow{"leftBeyond480", {481, 0, 10, 10}, LeftOut},
                                         CheckRow{"topNegative", {0, -1, 10, 10}, TopOut},
                                         CheckRow{"topBeyond240", {0, 241, 10, 10}, TopOut},
                                         CheckRow{"widthNegative", {0, 0, 10, -1}, WidthOut},
                                         CheckRow{"widthBeyond", {0, 0, 10, 481}, WidthOut},
                                         CheckRow{"heightBeyond", {0, 0, 241, 10}, HeightOut},
                                         CheckRow{"leftPlusWidth", {470, 0, 50, 30}, LeftWidthOut},
                                         CheckRow{"topPlusHeight", {0, 200, 50, 30}, TopHeightOut},
                                         CheckRow{"heightOne", {0, 0, 1, 30}, HeightSmall},
                                         CheckRow{"widthOne", {0, 0, 30, 1}, WidthSmall},
                                         CheckRow{"valid", {10, 10, 100, 100}, Valid},
                                         CheckRow{"wholePreview", {0, 0, 240, 480}, Valid},
                                         CheckRow{"hugeValues", {INT_MAX, 0, 10, 10}, LeftOut},
                                         CheckRow{"hugeSum", {10, 10, 10, INT_MAX}, WidthOut}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(SamplingCheck, LeftAndTopLimitsAreFixedWhateverTheModel) {
    Model m("LM63"); // bounds 480 x 360
    std::string message;
    EXPECT_FALSE(m.p.CheckSamplingArea({0, 250, 10, 10}, message));
    EXPECT_EQ(message, SamplingAreaMessages[TopOut]);
    EXPECT_TRUE(m.p.CheckOAVIArea({0, 100, 250, 100}, message));
    EXPECT_FALSE(m.p.CheckOAVIArea({0, 241, 10, 10}, message));
    EXPECT_EQ(message, SamplingAreaMessages[TopOut]);
}

TEST(SamplingBounds, FollowTheModelOrKeepDefaults) {
    Model m("LM63");
    m.p.CalcSamplingBounds();
    EXPECT_EQ(m.p.SampleMaxWidth, 480);
    EXPECT_EQ(m.p.SampleMaxHeight, 360);
    EXPECT_EQ(m.p.TargetMaxWidth, 320);
    EXPECT_EQ(m.p.TargetMaxHeight, 240);
    m.p.CalcOAVIBounds();
    EXPECT_EQ(m.p.AreaMaxWidth, 480);
    EXPECT_EQ(m.p.AreaMaxHeight, 360);
    TSamplingParameter alone;
    alone.CalcSamplingBounds();
    alone.CalcOAVIBounds();
    EXPECT_EQ(alone.SampleMaxWidth, 480);
    EXPECT_EQ(alone.SampleMaxHeight, 240);
    EXPECT_EQ(alone.TargetMaxWidth, 240);
    EXPECT_EQ(alone.TargetMaxHeight, 120);
    EXPECT_EQ(alone.AreaMaxWidth, 480);
    EXPECT_EQ(alone.AreaMaxHeight, 240);
}

struct ClampRow {
    const char* what;
    TAreaRect in, out, target;
};

class SamplingClamp : public testing::TestWithParam<ClampRow> {};

TEST_P(SamplingClamp, CorrectsTheAreaAndDerivesTheTarget) {
    Model m("LM17");
    EXPECT_EQ(m.p.ClampSamplingArea(GetParam().in), GetParam().out);
    EXPECT_EQ(m.p.TargetArea, GetParam().target);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SamplingClamp,
    testing::Values(
        ClampRow{"leftNegative", {-10, 20, 100, 50}, {0, 20, 100, 40}, {0, 10, 50, 20}},
        ClampRow{"pastTheRight", {470, 0, 50, 30}, {470, 0, 50, 10}, {235, 0, 25, 5}},
        ClampRow{"heightOneUnchanged", {0, 0, 1, 30}, {0, 0, 1, 30}, {0, 0, 0, 15}},
        ClampRow{"leftBeyond", {500, 0, 10, 10}, {480, 0, 10, 0}, {240, 0, 5, 0}},
        ClampRow{"topNegativeAllAbove", {0, -50, 20, 10}, {0, 0, 0, 10}, {0, 0, 0, 5}},
        ClampRow{"topBeyond", {0, 300, 20, 10}, {0, 240, 0, 10}, {0, 120, 0, 5}},
        ClampRow{"tooTall", {0, 0, 500, 10}, {0, 0, 240, 10}, {0, 0, 120, 5}},
        ClampRow{"oddValuesTruncate", {3, 3, 3, 3}, {3, 3, 3, 3}, {1, 1, 1, 1}},
        ClampRow{
            "hugeValues", {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, {480, 240, 0, 0}, {240, 120, 0, 0}},
        ClampRow{"hugeNegative", {INT_MIN, INT_MIN, 10, 10}, {0, 0, 0, 0}, {0, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(OAVIClamp, UsesTheModelsPreviewAndLeavesTheTarget) {
    Model m("LM63");
    m.p.TargetArea = {1, 2, 3, 4};
    EXPECT_EQ(m.p.ClampOAVIArea({-10, 300, 100, 500}), (TAreaRect{0, 300, 60, 480}));
    EXPECT_EQ(m.p.TargetArea, (TAreaRect{1, 2, 3, 4}));
}

struct RecordingSink : TProgressSink {
    std::vector<std::pair<std::string, bool>> statuses;
    void BeginProgress(const std::string&) override {}
    void SetProgress(int, const std::string&) override {}
    void EndProgress() override {}
    void ShowStatus(const std::string& text, bool autoRestore) override {
        statuses.emplace_back(text, autoRestore);
    }
};

TEST(ApplyArea, ClampsStoresTellsTheGridsAndShowsTheMessage) {
    Model m("LM17");
    RecordingSink sink;
    int samplingShown = 0, oaviShown = 0;
    m.p.StatusSink = &sink;
    m.p.SamplingAreaApplied = [&] { ++samplingShown; };
    m.p.OAVIAreaApplied = [&] { ++oaviShown; };
    m.p.ApplySamplingArea({-10, 20, 100, 50});
    EXPECT_EQ(m.p.SimplingArea, (TAreaRect{0, 20, 100, 40}));
    EXPECT_EQ(m.p.TargetArea, (TAreaRect{0, 10, 50, 20}));
    EXPECT_EQ(samplingShown, 1);
    ASSERT_EQ(sink.statuses.size(), 1u);
    EXPECT_EQ(sink.statuses[0].first, SamplingAreaMessages[LeftOut]);
    EXPECT_TRUE(sink.statuses[0].second);

    m.p.ApplyOAVIArea({10, 10, 50, 50});
    EXPECT_EQ(m.p.OAVISimplingArea, (TAreaRect{10, 10, 50, 50}));
    EXPECT_EQ(oaviShown, 1);
    ASSERT_EQ(sink.statuses.size(), 2u);
    EXPECT_EQ(sink.statuses[1].first, SamplingAreaMessages[Valid]);
}

TEST(ApplyArea, WorksWithoutAnyoneWatching) {
    Model m("LM52");
    m.p.ApplySamplingArea({0, 0, 1, 1});
    EXPECT_EQ(m.p.SimplingArea, (TAreaRect{0, 0, 1, 1}));
    m.p.ApplyOAVIArea({0, 0, 400, 600});
    EXPECT_EQ(m.p.OAVISimplingArea, (TAreaRect{0, 0, 360, 480}));
}

TEST(TakeVideoArea, OnlyWithAVideoPicture) {
    TSamplingParameter p;
    p.OAVISimplingArea = {1, 1, 1, 1};
    EXPECT_FALSE(p.TakeVideoArea());
    p.VideoPictureArea = [] { return std::optional<TAreaRect>(); };
    EXPECT_FALSE(p.TakeVideoArea());
    EXPECT_EQ(p.OAVISimplingArea, (TAreaRect{1, 1, 1, 1}));
    p.VideoPictureArea = [] { return std::optional<TAreaRect>(TAreaRect{5, 6, 240, 320}); };
    EXPECT_TRUE(p.TakeVideoArea());
    EXPECT_EQ(p.OAVISimplingArea, (TAreaRect{5, 6, 240, 320}));
}

TEST(OAVIModels, OnlyTheThreeVideoModels) {
    TSamplingParameter p;
    EXPECT_TRUE(p.IsOAVIModel("LM63"));
    EXPECT_TRUE(p.IsOAVIModel("LM52"));
    EXPECT_TRUE(p.IsOAVIModel("LM41"));
    EXPECT_FALSE(p.IsOAVIModel("LM75"));
    EXPECT_FALSE(p.IsOAVIModel("LM17"));
}

} // namespace
