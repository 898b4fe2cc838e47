#include "core/LMSetControlUnit.h"
#include "core/PublicUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SystemParameterUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using omm::test::TempDir;

struct Recorder {
    std::vector<std::string> events;
    std::vector<bool> rootWasNull;
    Recorder() {
        SetLifecycleObserver([this](const std::string& e) {
            events.push_back(e);
            rootWasNull.push_back(PublicRoot == nullptr);
        });
    }
    ~Recorder() { SetLifecycleObserver({}); }
};

TEST(PublicRoot, BuildsAndFreesTheGraphInTheFixedOrder) {
    TempDir dir;
    Recorder rec;
    PublicRoot = std::make_unique<TPublic>(nullptr, (dir / "s.ini").string());
    const std::vector<std::string> built{
        "create PublicFunction", "create PublicConst",  "create SystemParameter",
        "create LMSet",          "create PublicObject", "create PublicComponent",
        "create PublicOperate",  "create GUIComponent", "create LMSetControl"};
    EXPECT_EQ(rec.events, built);
    // The root is assigned only once the graph is complete.
    for (bool wasNull : rec.rootWasNull)
        EXPECT_TRUE(wasNull);
    rec.events.clear();
    rec.rootWasNull.clear();
    PublicRoot.reset();
    const std::vector<std::string> freed{
        "free PublicFunction", "free PublicConst",     "free SystemParameter",
        "free LMSet",          "free PublicObject",    "free GUIComponent",
        "free LMSetControl",   "free PublicComponent", "free PublicOperate"};
    EXPECT_EQ(rec.events, freed);
    EXPECT_FALSE(PublicRoot);
}

TEST(PublicRoot, StartsWithTitleVersionAndTheBaseModelSet) {
    TempDir dir;
    TPublic root(nullptr, (dir / "s.ini").string());
    const TPublicConst& c = *root.PublicConst;
    EXPECT_EQ(c.Title, "OndrelMediaMaker(正式版)");
    EXPECT_EQ(c.Version, "V1.07.0711");
    ASSERT_TRUE(c.LMSet);
    EXPECT_EQ(typeid(*c.LMSet), typeid(TLMSetConst));
    EXPECT_EQ(c.LMSet->ModelName, "LM63");
    EXPECT_EQ(c.LMSet->ScreenSize->Width, 240);
    EXPECT_EQ(c.SystemParameter->IniFileName, (dir / "s.ini").string());
    EXPECT_EQ(c.SystemParameter->ModelSet(), c.LMSet.get());
    EXPECT_FALSE(root.PublicObject->GUIComponent->Busy);
    EXPECT_EQ(root.PublicObject->OwnerForm, nullptr);
}

TEST(PublicRoot, SettingsGoThroughTheHolder) {
    TempDir dir;
    const std::string ini = (dir / "s.ini").string();
    {
        TPublic root(nullptr, ini);
        root.PublicConst->LoadSettings(); // no file: defaults
        EXPECT_EQ(root.PublicConst->LMSet->VideoInfo->PlaySpeed, 10);
        root.PublicObject->GUIComponent->LMSetControl->SetModel("LM17"); // no root: no switch
        EXPECT_EQ(typeid(*root.PublicConst->LMSet), typeid(TLMSetConst));
        root.PublicConst->SystemParameter->SamplingParameter->Volume = 31;
        root.PublicConst->LMSet->VideoInfo->DelayTime = 40;
        root.PublicConst->SaveSettings();
    }
    TPublic again(nullptr, ini);
    again.PublicConst->LoadSettings();
    EXPECT_EQ(again.PublicConst->SystemParameter->SamplingParameter->Volume, 31);
    EXPECT_EQ(again.PublicConst->LMSet->VideoInfo->DelayTime, 40);
}

TEST(PublicRoot, ModelReplacementWiresTheNewProfile) {
    TempDir dir;
    TPublicConst c((dir / "s.ini").string());
    c.ReplaceModelSet(CreateModelSet("LM52"));
    EXPECT_EQ(c.LMSet->ModelName, "LM52");
    EXPECT_EQ(c.LMSet->VideoInfo->SourceInfo, c.SystemParameter->VideoInfo.get());
    EXPECT_EQ(c.SystemParameter->ModelSet(), c.LMSet.get());
}

} // namespace
