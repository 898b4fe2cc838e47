#include "settings/LMSetConstUnit.h"
#include "settings/SystemParameterUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using omm::test::TempDir;
namespace fs = std::filesystem;

struct ChangeExtRow {
    const char* fileName;
    const char* ext;
    const char* result;
};

class ChangeExt : public testing::TestWithParam<ChangeExtRow> {};

TEST_P(ChangeExt, ReplacesTheExtensionOfTheNamePart) {
    EXPECT_EQ(TSystemParameter::ChangeExt(GetParam().fileName, GetParam().ext), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Examples, ChangeExt,
                         testing::Values(ChangeExtRow{"x.exe", " ini ", "x.ini"},
                                         ChangeExtRow{"x", "ini", "x.ini"},
                                         ChangeExtRow{"/a/x.exe", ".ini", "/a/x.ini"},
                                         ChangeExtRow{"/v/my.movie.avi", ".omv", "/v/my.movie.omv"},
                                         ChangeExtRow{"/v.d/clip", "mp3", "/v.d/clip.mp3"},
                                         ChangeExtRow{"/v/clip.", "os", "/v/clip.os"},
                                         ChangeExtRow{"", "ini", ""}, ChangeExtRow{"x.exe", "", ""},
                                         ChangeExtRow{"x.exe", "   ", ""}));

TEST(PathPieces, DirNameAndStem) {
    EXPECT_EQ(ExtractFileDir("/v/clip.avi"), "/v/");
    EXPECT_EQ(ExtractFileDir("clip.avi"), "");
    EXPECT_EQ(ExtractFileName("/v/clip.avi"), "clip.avi");
    EXPECT_EQ(ExtractFileStem("/v/a.b.avi"), "a");
    EXPECT_EQ(ExtractFileStem("/v.d/clip"), "");
    EXPECT_EQ(ExtractFileStem("/v/.avi"), "");
}

// A batch with one source in a fresh folder, and the model set the way the root wires it.
struct Batch {
    TempDir dir;
    std::unique_ptr<TLMSetConst> set;
    TSystemParameter system{(dir / "s.ini").string()};
    explicit Batch(const char* model, const std::string& sourceName = "clip.avi")
        : set(CreateModelSet(model)) {
        system.SetModelSetProvider([this] { return set.get(); });
        fs::create_directory(dir / "v");
        if (!sourceName.empty())
            set->VideoInfo->FileList.push_back({source(sourceName)});
    }
    std::string source(const std::string& name) const { return (dir / "v" / name).string(); }
    std::string v() const { return (dir / "v").string(); }
};

TEST(OutputNames, SourceWithModelLM52) {
    Batch b("LM52");
    EXPECT_EQ(b.system.GetCurrentFile(), b.v() + "/clip.avi");
    EXPECT_EQ(b.system.GetWorkFolder(), b.v() + "/clip");
    EXPECT_TRUE(fs::is_directory(b.v() + "/clip"));
    EXPECT_EQ(b.system.GetImageFolder(), b.v() + "/clip/Image");
    EXPECT_TRUE(fs::is_directory(b.v() + "/clip/Image"));
    EXPECT_EQ(b.system.GetSoundFileName(), b.v() + "/clip/Sound/Sound.mp3");
    EXPECT_TRUE(fs::is_directory(b.v() + "/clip/Sound"));
    EXPECT_EQ(b.system.GetSoundFolder(), b.v() + "/clip/Sound");
    EXPECT_EQ(b.set->VideoInfo->GetMp3FileName(-1), b.v() + "/clip.mp3");
    EXPECT_EQ(b.system.GetVideoFileName(), b.v() + "/clip.omv");
}

TEST(OutputNames, ModelLM63WritesOvi) {
    Batch b("LM63");
    EXPECT_EQ(b.system.GetVideoFileName(), b.v() + "/clip.ovi");
    Batch c("LM41");
    EXPECT_EQ(c.system.GetVideoFileName(), c.v() + "/clip.omv");
}

TEST(OutputNames, StemEndsAtTheFirstDot) {
    Batch b("LM52", "my.movie.avi");
    EXPECT_EQ(b.system.GetWorkFolder(), b.v() + "/my");
    EXPECT_EQ(b.system.GetVideoFileName(), b.v() + "/my.movie.omv");
}

TEST(OutputNames, NativeExampleWithoutCreatingFolders) {
    Batch b("LM52", "");
    b.set->VideoInfo->FileList.push_back({"/nonexistent-omm/v/clip.avi"});
    EXPECT_EQ(b.system.GetVideoFileName(), "/nonexistent-omm/v/clip.omv");
    // Folder creation failures are not reported: the names come back all the same.
    EXPECT_EQ(b.system.GetWorkFolder(), "/nonexistent-omm/v/clip");
    EXPECT_EQ(b.system.GetImageFolder(), "/nonexistent-omm/v/clip/Image");
    EXPECT_EQ(b.system.GetSoundFileName(), "/nonexistent-omm/v/clip/Sound/Sound.mp3");
}

TEST(OutputNames, FlashMovie) {
    Batch b("LM24");
    b.system.MediaFileName = "/m/lesson.swf";
    EXPECT_EQ(b.system.GetMediaName(), "lesson.swf");
    EXPECT_EQ(b.system.GetScriptFileName(), "/m/lesson/lesson.os");
    EXPECT_EQ(b.system.GetMediaImageFolder(), "/m/lesson/Image");
    EXPECT_EQ(b.system.GetMediaSoundFolder(), "/m/lesson/Sound");
    EXPECT_FALSE(fs::exists("/m/lesson")); // these create nothing
    b.system.MediaFileName = "/m/a.b.swf";
    EXPECT_EQ(b.system.GetScriptFileName(), "/m/a/a.b.os");
}

TEST(OutputNames, WithoutASourceEverythingIsEmptyAndNothingIsCreated) {
    Batch b("LM52", "");
    EXPECT_EQ(b.system.GetCurrentFile(), "");
    EXPECT_EQ(b.system.GetWorkFolder(), "");
    EXPECT_EQ(b.system.GetImageFolder(), "");
    EXPECT_EQ(b.system.GetSoundFolder(), "");
    EXPECT_EQ(b.system.GetSoundFileName(), "");
    EXPECT_EQ(b.system.GetVideoFileName(), "");
    EXPECT_EQ(b.system.GetScriptFileName(), "");
    EXPECT_EQ(b.system.GetMediaImageFolder(), "");
    EXPECT_EQ(b.system.GetMediaName(), "");
    EXPECT_TRUE(fs::is_empty(b.v()));
    b.set->VideoInfo->FileList.push_back({b.source("clip.avi")});
    b.set->VideoInfo->FileIndex = 3;
    EXPECT_EQ(b.system.GetWorkFolder(), "");
    EXPECT_TRUE(fs::is_empty(b.v()));
}

class EmptyStem : public testing::TestWithParam<const char*> {};

TEST_P(EmptyStem, SourceIsRefusedAndNothingIsCreated) {
    Batch b("LM52", GetParam());
    const std::string source = b.source(GetParam());
    for (auto op : {&TSystemParameter::GetWorkFolder, &TSystemParameter::GetImageFolder,
                    &TSystemParameter::GetSoundFolder, &TSystemParameter::GetSoundFileName}) {
        try {
            (b.system.*op)();
            ADD_FAILURE() << "accepted " << source;
        } catch (const ESourceNameError& e) {
            EXPECT_NE(std::string(e.what()).find(source), std::string::npos) << e.what();
        }
    }
    EXPECT_TRUE(fs::is_empty(b.v()));
    b.system.MediaFileName = source;
    EXPECT_THROW(b.system.GetScriptFileName(), ESourceNameError);
    EXPECT_THROW(b.system.GetMediaImageFolder(), ESourceNameError);
    EXPECT_THROW(b.system.GetMediaSoundFolder(), ESourceNameError);
}

INSTANTIATE_TEST_SUITE_P(Names, EmptyStem, testing::Values("clip", ".avi", ".hidden.avi"));

TEST(OutputNames, CurrentFileRefreshesTheSourceValues) {
    Batch b("LM52");
    b.system.VideoInfo->Width = 1;
    b.system.GetCurrentFile(); // the file does not exist: defaults
    EXPECT_EQ(b.system.VideoInfo->Width, 240);
    EXPECT_EQ(b.system.VideoInfo->FileName, b.source("clip.avi"));
}

} // namespace
