#pragma once
// Video profile of a device model: the per-model constants of the device video file
// plus the working data of the current batch (source files, output names, base frames).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TVideoInfo;

struct TSoundInfo {
    int Channels = 0;
    int SampleRate = 0;
    int BitRate = 0; // index into the bit-rate list of the sound settings
};

struct TAddSettings {
    bool ShutDownP = false;
};

// One source file of the batch.
struct TMediaFileItem {
    std::string FileName;
    bool HasSrt = false; // a file of the same name with ".srt" exists beside it
    bool HasMp3 = false; // a file of the same name with ".mp3" exists beside it

    // Builds an item for FileName, looking for the ".srt" and ".mp3" files beside it.
    static TMediaFileItem ForFile(const std::string& FileName);
};

class TLMSetVideoInfo {
public:
    TLMSetVideoInfo() = default;
    virtual ~TLMSetVideoInfo() = default;
    TLMSetVideoInfo(const TLMSetVideoInfo&) = delete;
    TLMSetVideoInfo& operator=(const TLMSetVideoInfo&) = delete;

    std::string SoundFileName;
    std::string VideoFileName;
    int CompressGrade = 80;
    std::vector<uint32_t> BaseFrames;
    std::vector<uint32_t> Chapters;
    int DelayTime = 0;
    bool SoundReady = false;
    std::vector<std::string> SoundFiles;
    int PlaySpeed = 0;
    bool Srt = false;
    uint8_t VideoType = 1;
    int VideoWidth = 144;
    int VideoHeight = 112;
    TSoundInfo SoundInfo;
    TAddSettings AddSettings;
    int FileIndex = 0;
    std::vector<TMediaFileItem> FileList;

    // Where GetCurrentFile loads the header values of the current source (the root's
    // `SystemParameter.VideoInfo`); may be null.
    TVideoInfo* SourceInfo = nullptr;

    // True for the three profiles that carry device-video constants; the base profile
    // must never reach the container writer.
    virtual bool HasVideoFormat() const { return false; }

    // Slots 0 to 4 have no value in the base profile: they throw std::logic_error.
    virtual uint32_t GetCodecBits() const;
    virtual int GetKeyFrameInterval() const;
    virtual int GetHeadOption() const;
    virtual uint16_t GetFormatBits() const;
    virtual uint32_t GetTypeBits() const;
    virtual uint8_t GetFlagBits() const { return 1; }

    uint32_t GetFormatWord() const;
    const std::vector<uint32_t>& GetChapters();
    void SetBaseFrameCount(size_t Count) { BaseFrames.resize(Count); }
    // The current source (empty when FileIndex is outside the list); refreshes SourceInfo.
    std::string GetCurrentFile();
    // Advances FileIndex and returns that entry's name, or empty past the end.
    std::string GetNextFile();
    // The ".mp3" beside entry Index (-1: the current entry), or empty past the end.
    std::string GetMp3FileName(int Index) const;
};

class TLMSetVideoInfo_LM41 : public TLMSetVideoInfo {
public:
    TLMSetVideoInfo_LM41() { PlaySpeed = 10; }
    bool HasVideoFormat() const override { return true; }
    uint32_t GetCodecBits() const override { return 0x00020000; }
    int GetKeyFrameInterval() const override { return PlaySpeed * 3; }
    int GetHeadOption() const override { return 1; }
    uint16_t GetFormatBits() const override { return 0x0100; }
    uint32_t GetTypeBits() const override { return 0; }
};

class TLMSetVideoInfo_LM52 : public TLMSetVideoInfo {
public:
    TLMSetVideoInfo_LM52() { PlaySpeed = 10; }
    bool HasVideoFormat() const override { return true; }
    uint32_t GetCodecBits() const override { return 0x00820000; }
    int GetKeyFrameInterval() const override { return PlaySpeed * 2; }
    int GetHeadOption() const override { return 1; }
    uint16_t GetFormatBits() const override { return 0x0100; }
    uint32_t GetTypeBits() const override { return 0; }
};

// The profile of model "LM63".
class TLMSetVideoInfo_LM52A : public TLMSetVideoInfo_LM52 {
public:
    TLMSetVideoInfo_LM52A() {
        Srt = true;
        VideoWidth = 320;
        VideoHeight = 240;
    }
    uint16_t GetFormatBits() const override { return 0x0700; }
    uint32_t GetTypeBits() const override;
    uint8_t GetFlagBits() const override { return 0x81; }
};
