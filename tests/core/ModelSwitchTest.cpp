#include "core/LMSetControlUnit.h"
#include "core/PublicUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SystemParameterUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using omm::test::TempDir;

// The main window as the model switch sees it.
struct FakeWindow : TMainWindowPort {
    TWindowRect rect{100, 100, 580, 450};
    int screenWidth = 1920, screenHeight = 1080;
    bool visible = true, flashCanFocus = true, flashVisible = true;
    int reshows = 0, binds = 0;
    std::vector<std::string> captions;

    TWindowRect WindowRect() const override { return rect; }
    void SetWindowRect(const TWindowRect& r) override { rect = r; }
    int ScreenWidth() const override { return screenWidth; }
    int ScreenHeight() const override { return screenHeight; }
    bool WindowVisible() const override { return visible; }
    bool FlashCanFocus() const override { return flashCanFocus; }
    bool FlashVisible() const override { return flashVisible; }
    void ReshowFlash() override { ++reshows; }
    void SetCaption(const std::string& c) override { captions.push_back(c); }
    void BindFlash() override { ++binds; }
};

struct Switcher {
    TempDir dir;
    TPublicConst holder{(dir / "s.ini").string()};
    TLMSetControl control{&holder};
    FakeWindow window;
    Switcher() { control.GUI->Window = &window; }
};

TEST(SetModel, LowerCaseNameMakesLM63Current) {
    Switcher s;
    s.control.SetModel("lm63");
    const TLMSetConst& set = *s.holder.LMSet;
    EXPECT_EQ(typeid(set), typeid(TLMSetConst_LM52A));
    EXPECT_EQ(set.ModelName, "LM63");
    EXPECT_EQ(set.ScreenSize->Width, 320);
    EXPECT_EQ(set.ScreenSize->Height, 240);
    EXPECT_FLOAT_EQ(set.ScreenSize->Scale, 1.5f);
    const auto* profile = dynamic_cast<const TLMSetVideoInfo_LM52A*>(set.VideoInfo.get());
    ASSERT_TRUE(profile);
    EXPECT_EQ(profile->VideoWidth, 320);
    EXPECT_EQ(profile->VideoHeight, 240);
    EXPECT_TRUE(profile->Srt);
    EXPECT_EQ(profile->PlaySpeed, 10);
}

TEST(SetModel, SameModelKeepsTheSetAndItsFileList) {
    Switcher s;
    s.control.SetModel("LM52");
    TLMSetConst* before = s.holder.LMSet.get();
    before->VideoInfo->FileList.push_back({"/v/a.avi"});
    before->VideoInfo->FileIndex = 0;
    before->VideoInfo->CompressGrade = 55;
    const TWindowRect rect = s.window.rect;
    s.control.SetModel("LM52");
    EXPECT_EQ(s.holder.LMSet.get(), before);
    EXPECT_EQ(s.holder.LMSet->VideoInfo->FileList.size(), 1u);
    EXPECT_EQ(s.holder.LMSet->VideoInfo->CompressGrade, 55);
    EXPECT_EQ(s.window.rect.Height, rect.Height);
}

TEST(SetModel, SwitchEmptiesTheFileListAndRestoresClassDefaults) {
    Switcher s;
    s.control.SetModel("LM52");
    s.holder.LMSet->VideoInfo->FileList.push_back({"/v/a.avi"});
    s.holder.LMSet->VideoInfo->FileIndex = 0;
    s.holder.LMSet->VideoInfo->CompressGrade = 55;
    s.control.SetModel("LM41");
    EXPECT_EQ(s.holder.LMSet->ModelName, "LM41");
    EXPECT_TRUE(s.holder.LMSet->VideoInfo->FileList.empty());
    EXPECT_EQ(s.holder.LMSet->VideoInfo->FileIndex, 0);
    EXPECT_EQ(s.holder.LMSet->VideoInfo->CompressGrade, 80);
}

TEST(SetModel, NewProfileReadsItsSourceIntoTheSharedVideoInfo) {
    Switcher s;
    s.control.SetModel("LM41");
    EXPECT_EQ(s.holder.LMSet->VideoInfo->SourceInfo, s.holder.SystemParameter->VideoInfo.get());
    TPublicConst fresh((s.dir / "t.ini").string());
    EXPECT_EQ(fresh.LMSet->VideoInfo->SourceInfo, fresh.SystemParameter->VideoInfo.get());
}

TEST(SetModel, LM41ToLM17ShrinksTheWindowBy120AndCentresIt) {
    Switcher s;
    s.control.SetModel("LM41");
    s.window.rect = {10, 20, 600, 500};
    s.control.SetModel("LM17");
    EXPECT_EQ(s.control.GUI->OldWidth, 480);
    EXPECT_EQ(s.control.GUI->OldHeight, 360);
    EXPECT_EQ(s.control.GUI->NewWidth, 480);
    EXPECT_EQ(s.control.GUI->NewHeight, 240);
    EXPECT_EQ(s.window.rect.Width, 600);
    EXPECT_EQ(s.window.rect.Height, 380);
    EXPECT_EQ(s.window.rect.Left, (1920 - 600) / 2);
    EXPECT_EQ(s.window.rect.Top, (1080 - 380) / 2);
    EXPECT_FALSE(s.holder.LMSet->HasVideoFormat());
    EXPECT_THROW(s.holder.LMSet->VideoInfo->GetFormatWord(), std::logic_error);
    s.control.SetModel("LM75");
    EXPECT_EQ(s.window.rect.Height, 500);
}

TEST(SetModel, CentringOnAScreenSmallerThanTheWindowTruncatesTowardsZero) {
    Switcher s;
    s.window.screenWidth = 575;
    s.window.screenHeight = 100;
    s.control.SetModel("LM75"); // from the start-up set: +120 in height
    EXPECT_EQ(s.window.rect.Height, 570);
    EXPECT_EQ(s.window.rect.Left, -2); // (575 - 580) / 2
    EXPECT_EQ(s.window.rect.Top, -235);
}

TEST(SetModel, UnknownNameChangesNothing) {
    Switcher s;
    s.control.SetModel("LM52");
    TLMSetConst* before = s.holder.LMSet.get();
    for (const char* name : {"", "LM52A", "LM 52", "LM99"})
        s.control.SetModel(name);
    EXPECT_EQ(s.holder.LMSet.get(), before);
}

TEST(SetModel, NothingHappensWithoutARoot) {
    ASSERT_FALSE(PublicRoot);
    TLMSetControl control;
    FakeWindow window;
    control.GUI->Window = &window;
    control.SetModel("LM17");
    EXPECT_EQ(window.rect.Height, 450);
    EXPECT_EQ(control.GUI->OldWidth, 240);
}

TEST(SetModel, GoesThroughTheRootWhenNoHolderIsGiven) {
    TempDir dir;
    PublicRoot = std::make_unique<TPublic>(nullptr, (dir / "s.ini").string());
    PublicRoot->PublicObject->GUIComponent->LMSetControl->SetModel("LM36T");
    EXPECT_EQ(PublicRoot->PublicConst->LMSet->ModelName, "LM36T");
    PublicRoot.reset();
}

struct RefreshRow {
    bool visible, canFocus, flashVisible;
    int reshows;
};

class RefreshFlash : public testing::TestWithParam<RefreshRow> {};

TEST_P(RefreshFlash, OnlyWhenTheWindowIsShownAndTheControlCanTakeTheFocus) {
    Switcher s;
    s.window.visible = GetParam().visible;
    s.window.flashCanFocus = GetParam().canFocus;
    s.window.flashVisible = GetParam().flashVisible;
    s.control.SetModel("LM52");
    EXPECT_EQ(s.window.reshows, GetParam().reshows);
}

INSTANTIATE_TEST_SUITE_P(States, RefreshFlash,
                         testing::Values(RefreshRow{true, true, true, 1},
                                         RefreshRow{false, true, true, 0},
                                         RefreshRow{true, false, true, 0},
                                         RefreshRow{true, true, false, 0}));

TEST(InitMainWindow, SetsTheCaptionBindsFlashAndReadsTheSettingsIntoTheStartUpSet) {
    Switcher s;
    omm::test::writeText(s.dir / "s.ini",
                         "[CompressParams]\nCompressGrade=60\n[LMSet]\nLMSet=LM41\n");
    s.control.GUI->InitMainWindow();
    ASSERT_EQ(s.window.captions.size(), 1u);
    EXPECT_EQ(s.window.captions[0], "OndrelMediaMaker(正式版) V1.07.0711");
    EXPECT_EQ(s.window.binds, 1);
    EXPECT_EQ(s.holder.LMSet->ModelName, "LM63"); // still the start-up set
    EXPECT_EQ(s.holder.LMSet->VideoInfo->CompressGrade, 60);
    // Start-up then switches to the saved model, whose fresh profile has class defaults.
    s.control.SetModel(s.holder.SystemParameter->ScriptParameter->ModelName.Name);
    EXPECT_EQ(s.holder.LMSet->ModelName, "LM41");
    EXPECT_EQ(s.holder.LMSet->VideoInfo->CompressGrade, 80);
    s.holder.SystemParameter->SamplingParameter->LoadAll();
    EXPECT_EQ(s.holder.LMSet->VideoInfo->CompressGrade, 60);
}

} // namespace
