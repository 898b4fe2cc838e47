#pragma once
// The 40-byte file head. Written first with zero placeholders for the file size and
// the sound offset, which the sound and image writers patch in later.

#include "container/uWriteData.h"

#include <cstdint>

class TLMSetVideoInfo;
class TMediaResManager;

#pragma pack(push, 1)
struct TVideoFileHead {
    char Magic[4];
    uint32_t FormatCode;
    uint32_t FileSize;
    uint16_t HeadSize;
    uint16_t Version;
    uint32_t FrameCount;
    uint32_t Duration;
    uint16_t Height;
    uint16_t Width;
    uint16_t FrameRate;
    uint16_t BaseFrameInterval;
    uint16_t HeadOption;
    uint32_t SoundOffset;
    uint16_t Trailer;
};
#pragma pack(pop)
static_assert(sizeof(TVideoFileHead) == 40, "the file head is 40 bytes");

class TWriteFileHead : public TWriteData {
public:
    TWriteFileHead(TOutStream* Stream, const TLMSetVideoInfo& Profile,
                   const TMediaResManager& Frames);

    void Write() override;
    void PatchFileSize(uint32_t Value);
    void PatchSoundOffset(uint32_t Value);

    const TVideoFileHead& Head() const { return Head_; }

private:
    void Fill();
    void PatchAt(uint32_t Offset, uint32_t Value);

    const TLMSetVideoInfo& Profile_;
    const TMediaResManager& Frames_;
    TVideoFileHead Head_{};
};
