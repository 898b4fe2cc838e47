#include "container/uWriteFileHead.h"

#include "container/MediaResManagerUnit.h"
#include "container/uOaviFormat.h"
#include "settings/LMSetVideoInfoUnit.h"

#include <cstring>

TWriteFileHead::TWriteFileHead(TOutStream* Stream, const TLMSetVideoInfo& Profile,
                               const TMediaResManager& Frames)
    : TWriteData(Stream), Profile_(Profile), Frames_(Frames) {}

void TWriteFileHead::Fill() {
    std::memcpy(Head_.Magic, oavi::Magic, sizeof Head_.Magic);
    Head_.FormatCode = Profile_.GetFormatWord();
    Head_.FileSize = 0;
    Head_.HeadSize = oavi::HeadSize;
    Head_.Version = oavi::HeadVersion;
    Head_.FrameCount = static_cast<uint32_t>(Frames_.Count());
    Head_.Duration = static_cast<uint32_t>(Frames_.Duration);
    // The device reads 16-bit fields; larger values are truncated as it would see them.
    Head_.Height = static_cast<uint16_t>(Profile_.VideoHeight);
    Head_.Width = static_cast<uint16_t>(Profile_.VideoWidth);
    Head_.FrameRate = static_cast<uint16_t>(Profile_.PlaySpeed);
    Head_.BaseFrameInterval = static_cast<uint16_t>(Profile_.GetKeyFrameInterval());
    Head_.HeadOption = static_cast<uint16_t>(Profile_.GetHeadOption());
    Head_.SoundOffset = 0;
    Head_.Trailer = oavi::HeadTrailer;
}

void TWriteFileHead::Write() {
    Fill();
    TOutStream& out = Out();
    // Field by field, so the bytes are little-endian whatever the host.
    out.Write(Head_.Magic, sizeof Head_.Magic);
    out.WriteU32(Head_.FormatCode);
    out.WriteU32(Head_.FileSize);
    out.WriteU16(Head_.HeadSize);
    out.WriteU16(Head_.Version);
    out.WriteU32(Head_.FrameCount);
    out.WriteU32(Head_.Duration);
    out.WriteU16(Head_.Height);
    out.WriteU16(Head_.Width);
    out.WriteU16(Head_.FrameRate);
    out.WriteU16(Head_.BaseFrameInterval);
    out.WriteU16(Head_.HeadOption);
    out.WriteU32(Head_.SoundOffset);
    out.WriteU16(Head_.Trailer);
}

void TWriteFileHead::PatchAt(uint32_t Offset, uint32_t Value) {
    // The position is left after the patched field; appending writers seek to the end.
    TOutStream& out = Out();
    out.Seek(Offset);
    out.WriteU32(Value);
}

void TWriteFileHead::PatchFileSize(uint32_t Value) {
    Head_.FileSize = Value;
    PatchAt(oavi::OffFileSize, Value);
}

void TWriteFileHead::PatchSoundOffset(uint32_t Value) {
    Head_.SoundOffset = Value;
    PatchAt(oavi::OffSoundOffset, Value);
}
