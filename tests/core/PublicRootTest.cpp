#include "acquire/OAVITranslateControlUnit.h"
#include "acquire/VideoControlUnit.h"
#include "container/MediaResManagerUnit.h"
#include "core/LMSetControlUnit.h"
#include "core/PublicUnit.h"
#include "core/uProgressSink.h"
#include "oflash/FlashComponentUnit.h"
#include "oflash/FlashResManagerUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SettingsLocationUnit.h"
#include "settings/SystemParameterUnit.h"
#include "sound/uDistillSound.h"
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
        "create PublicFunction",  "create PublicConst",    "create SystemParameter",
        "create LMSet",           "create PublicObject",   "create FlashComponent",
        "create PublicComponent", "create VideoControl",   "create DistillSound",
        "create PublicOperate",   "create GUIComponent",   "create LMSetControl",
        "create FlashResManager", "create MediaResManager"};
    EXPECT_EQ(rec.events, built);
    // The root is assigned only once the graph is complete.
    for (bool wasNull : rec.rootWasNull)
        EXPECT_TRUE(wasNull);
    rec.events.clear();
    rec.rootWasNull.clear();
    PublicRoot.reset();
    const std::vector<std::string> freed{
        "free PublicFunction",  "free PublicConst",    "free SystemParameter", "free LMSet",
        "free PublicObject",    "free FlashComponent", "free GUIComponent",    "free LMSetControl",
        "free PublicComponent", "free VideoControl",   "free DistillSound",    "free PublicOperate",
        "free FlashResManager", "free MediaResManager"};
    EXPECT_EQ(rec.events, freed);
    EXPECT_FALSE(PublicRoot);
}

// Each holder nulls a member as it frees it, so a member freed later that looks at an
// earlier one finds null rather than freed memory.
TEST(PublicRoot, HoldersNullEachMemberAsTheyFreeIt) {
    TempDir dir;
    auto root = std::make_unique<TPublic>(nullptr, (dir / "s.ini").string());
    TPublic* r = root.get();
    TPublicObject* object = r->PublicObject.get();
    TPublicComponent* component = object->PublicComponent.get();
    std::vector<std::string> nullAtFree;
    SetLifecycleObserver([&](const std::string& e) {
        if (e == "free PublicConst" && !r->PublicFunction)
            nullAtFree.push_back("PublicFunction");
        if (e == "free PublicObject" && !r->PublicConst)
            nullAtFree.push_back("PublicConst");
        if (e == "free GUIComponent" && !object->FlashComponent)
            nullAtFree.push_back("FlashComponent");
        if (e == "free PublicComponent" && !object->GUIComponent)
            nullAtFree.push_back("GUIComponent");
        if (e == "free DistillSound" && !component->VideoControl)
            nullAtFree.push_back("VideoControl");
        if (e == "free PublicOperate" && !object->PublicComponent)
            nullAtFree.push_back("PublicComponent");
        if (e == "free MediaResManager" && !object->FlashResManager)
            nullAtFree.push_back("FlashResManager");
    });
    root.reset();
    SetLifecycleObserver({});
    const std::vector<std::string> expected{"PublicFunction", "PublicConst",  "FlashComponent",
                                            "GUIComponent",   "VideoControl", "PublicComponent",
                                            "FlashResManager"};
    EXPECT_EQ(nullAtFree, expected);
}

TEST(PublicRoot, OwnsTheEngineObjectsFromStartUp) {
    TempDir dir;
    TPublic root(nullptr, (dir / "s.ini").string(), dir.path().string());
    const TPublicObject& o = *root.PublicObject;
    ASSERT_TRUE(o.FlashComponent);
    ASSERT_TRUE(o.PublicComponent);
    ASSERT_TRUE(o.PublicComponent->VideoControl);
    ASSERT_TRUE(o.PublicComponent->DistillSound);
    ASSERT_TRUE(o.FlashResManager);
    ASSERT_TRUE(o.MediaResManager);
    // The player control is the window's: none is bound before the window binds it, and
    // the wrapper answers without one.
    EXPECT_EQ(o.FlashComponent->Flash, nullptr);
    EXPECT_FALSE(o.FlashComponent->IsPlaying());
    EXPECT_EQ(o.FlashComponent->GetMovie(), "");
    EXPECT_EQ(o.MediaResManager->Count(), 0u);
    EXPECT_EQ(o.FlashResManager->ResList.Count(), 0);
    // Both video-side objects look for their sibling programs in the given folder.
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(o.PublicComponent->VideoControl->FrameExtractor->ProgramFolder, folder);
    EXPECT_EQ(o.PublicComponent->DistillSound->ProgramFolder(), folder);
}

TEST(PublicRoot, DefaultsToTheRunningProgramsFolder) {
    TempDir dir;
    TPublic root(nullptr, (dir / "s.ini").string());
    const std::string folder = ProgramFolder() + "/";
    EXPECT_EQ(root.PublicObject->PublicComponent->VideoControl->FrameExtractor->ProgramFolder,
              folder);
    EXPECT_EQ(root.PublicObject->PublicComponent->DistillSound->ProgramFolder(), folder);
}

TEST(PublicRoot, OaviControllerWorksOnTheRootsFrameList) {
    TempDir dir;
    TPublic root(nullptr, (dir / "s.ini").string(), dir.path().string());
    TNullProgressSink progress;
    std::unique_ptr<TOAVITranslateControl> control = root.NewOAVITranslateControl(progress);
    TMediaResManager& frames = *root.PublicObject->MediaResManager;
    frames.AddFile((dir / "a.bmp").string(), 0);
    frames.AddFile((dir / "b.bmp").string(), 100);
    ASSERT_EQ(frames.Count(), 2u);
    // Giving up a source clears the frame list the controller works on: the root's.
    control->Abandon();
    EXPECT_EQ(frames.Count(), 0u);
}

TEST(PublicRoot, OaviControllerFollowsModelSwitches) {
    TempDir dir;
    TPublic root(nullptr, (dir / "s.ini").string(), dir.path().string());
    TNullProgressSink progress;
    std::unique_ptr<TOAVITranslateControl> control = root.NewOAVITranslateControl(progress);
    // The start-up set takes no device video.
    EXPECT_FALSE(control->Start());
    EXPECT_EQ(control->LastError, "the current model takes no device video");
    // A set put in after the controller was made is the one it converts for.
    root.PublicConst->ReplaceModelSet(CreateModelSet("LM52"));
    const std::string missing = (dir / "gone.avi").string();
    TMediaFileItem item;
    item.FileName = missing;
    root.PublicConst->LMSet->VideoInfo->FileList.push_back(item);
    root.PublicConst->LMSet->VideoInfo->FileIndex = 0;
    EXPECT_TRUE(control->IsListedSource());
    EXPECT_FALSE(control->Start());
    EXPECT_EQ(control->LastError, missing + ": the file does not exist");
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
