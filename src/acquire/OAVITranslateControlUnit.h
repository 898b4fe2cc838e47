#pragma once
// The OAVI controller for listed AVI sources: Start forms the output names and starts
// the frame extraction; when the frames are listed, OnMediaFinished fires (the caller
// answers with Stop); Stop encodes the device video and removes the working files.
//
// Cleaning up never reaches past what this conversion made: when the working folder
// beside the source existed before the conversion (it may be the author's own folder
// of that name), only the Image and Sound folders this run created inside it are
// removed. The source, its folder and an older output always survive.

#include <functional>
#include <string>

class TLMSetConst;
class TMediaResManager;
class TProgressSink;
class TSystemParameter;
class TVideoControl;

class TOAVITranslateControl {
public:
    // ModelSet answers the current model set (it is replaced on model switches, so it is
    // asked each time, never kept).
    TOAVITranslateControl(TVideoControl& Video, TSystemParameter& System, TMediaResManager& Frames,
                          TProgressSink& Progress, std::function<TLMSetConst*()> ModelSet);
    ~TOAVITranslateControl();
    TOAVITranslateControl(const TOAVITranslateControl&) = delete;
    TOAVITranslateControl& operator=(const TOAVITranslateControl&) = delete;

    // True when acquisition has started. False with LastError when the source is missing
    // or unusable (nothing is created then).
    bool Start();
    // Listed sources cannot be paused: Pause answers false, Continue true.
    bool Pause();
    bool Continue();
    // Ends acquisition and encodes. Errors of the encoding are thrown after cleanup.
    void Stop();
    // Runs the encoder, then removes the working files and clears the frame list, also
    // when the encoder fails (the error is rethrown).
    void Encode();
    // Gives up the current source after its extraction ended without encoding it: the
    // working files go and the frame list is cleared.
    void Abandon();
    // True when the profile's current index names an entry of its file list.
    bool IsListedSource() const;

    // The frames of the source are in the frame list: the end of the source.
    std::function<void()> OnMediaFinished;
    // The extraction failed (reason names the file); the working files are gone already.
    std::function<void(const std::string&)> OnFailed;

    // Receives the encoder's messages for the author (text, caption), e.g. a subtitle
    // file with a format error; the video is still written.
    std::function<void(const std::string&, const std::string&)> ShowMessage;

    std::string LastError;
    std::string SourceFile; // the source being converted

private:
    void RemoveWorkingFiles();

    TVideoControl& Video_;
    TSystemParameter& System_;
    TMediaResManager& Frames_;
    TProgressSink& Progress_;
    std::function<TLMSetConst*()> ModelSet_;
    std::string WorkFolder_;
    bool CreatedWorkFolder_ = false;
    bool CreatedImageFolder_ = false;
    bool CreatedSoundFolder_ = false;
};
