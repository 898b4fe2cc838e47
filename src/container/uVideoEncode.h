#pragma once
// One complete encode run: creates the device video and runs the section writers in
// file order (head, chapter table, base-frame table, subtitles, sound, frame stream),
// reporting each stage through the progress sink.
//
// The file is written under a temporary name in the target's folder and renamed over
// the target only when complete; on any error every writer and stream is released, the
// partial file removed, and an older output of the same name stays as it was. The sound
// file beside the source is consumed (removed) only after a successful run.

#include "container/uWriteData.h"
#include "container/uWriteImage.h"
#include "container/uWriteSubtitle.h"

#include <string>

class TLMSetVideoInfo;
class TMediaResManager;
class TProgressSink;

class TVideoEncode : public TWriteData {
public:
    TVideoEncode(TLMSetVideoInfo& Profile, std::string ModelName, const TMediaResManager& Frames,
                 TProgressSink& Progress);

    // Sets the sound (".mp3") and subtitle (".srt") files to those beside SourceFile.
    void SetSource(const std::string& SourceFile);

    // One encode run; throws TEncodeError naming the file and what is wrong.
    void Write() override;

    // The device video to write; empty: the profile's VideoFileName.
    std::string OutputFile;
    std::string SoundFile;    // empty or missing: a silent video
    std::string SubtitleFile; // empty or missing: no subtitles (LM63)
    // Folder for the segments' temporary files (the source's working folder); empty: a
    // private folder beside the output, removed afterwards.
    std::string WorkFolder;
    TEncodePath Path = TEncodePath::Auto;
    int ThreadCount = 3;
    uint8_t PickOrder = 0; // the pool's dispatch order (1: random)
    // Receives the subtitle writer's format-error message (text, caption).
    TWriteSubtitle::MessageHandler ShowMessage;

    // What the last successful run did.
    bool LastRunParallel = false;

private:
    void CheckInputs(const std::string& Target) const;

    TLMSetVideoInfo& Profile_;
    std::string ModelName_;
    const TMediaResManager& Frames_;
    TProgressSink& Progress_;
};
