#include "container/uWriteChapter.h"

#include "container/uOaviFormat.h"
#include "settings/LMSetVideoInfoUnit.h"

#include <array>

TWriteChapter::TWriteChapter(TOutStream* Stream, TLMSetVideoInfo& Profile, std::string ModelName)
    : TWriteData(Stream), Profile_(Profile), ModelName_(std::move(ModelName)) {}

void TWriteChapter::Prepare() {
    Entries = Profile_.GetChapters();
    TablePos = oavi::ChapterTableStart;
    EntryCount = 1;
}

void TWriteChapter::Write() {
    Prepare();
    TOutStream& out = Out();
    const uint32_t delay = static_cast<uint32_t>(Profile_.DelayTime);
    for (int i = 0; i < EntryCount; ++i) {
        out.WriteU32(0);
        const uint32_t value = Entries[static_cast<size_t>(i)];
        // Every base-frame time but the first is moved earlier by the delay setting;
        // a time below the delay wraps, as the device's unsigned field does.
        out.WriteU32(i == 0 ? value : value - delay);
    }
}

void TWriteChapter::PatchEntry(uint16_t Index, uint32_t Value) {
    TOutStream& out = Out();
    out.Seek(TablePos + uint64_t(oavi::TableEntrySize) * Index);
    out.WriteU32(Value);
    out.Seek(out.Position() + 4);
}

namespace {

uint32_t ReadU32(std::istream& in, bool& ok) {
    std::array<unsigned char, 4> b{};
    in.read(reinterpret_cast<char*>(b.data()), 4);
    ok = in.gcount() == 4;
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

} // namespace

void TWriteChapter::SkipRecord(std::istream& Segment, const std::string& SegmentName) const {
    const uint32_t lengthAt = oavi::RecordLengthOffset(ModelName_);
    const std::streamoff start = Segment.tellg();
    Segment.seekg(lengthAt, std::ios::cur);
    bool ok = false;
    const uint32_t length = ReadU32(Segment, ok);
    if (!ok || length < lengthAt + 4)
        throw TEncodeError(SegmentName + ": damaged frame record at offset " +
                           std::to_string(start) + " (its length cannot be read)");
    Segment.seekg(start + std::streamoff(length));
    if (!Segment)
        throw TEncodeError(SegmentName + ": frame record at offset " + std::to_string(start) +
                           " runs past the end of the segment");
}

void TWriteChapter::PatchKeyFrames(int First, int Last, std::istream& Segment, uint64_t Base,
                                   const std::string& SegmentName) {
    TOutStream& out = Out();
    const int k = Profile_.GetKeyFrameInterval();
    if (k < 1)
        throw TEncodeError("base-frame interval below 1");
    int e = First / k;
    out.Seek(TablePos + uint64_t(oavi::TableEntrySize) * uint64_t(e));
    Segment.clear();
    Segment.seekg(0);
    for (int i = First; i <= Last; ++i) {
        if (i % k == 0 && e < EntryCount) {
            const uint64_t offset = uint64_t(Segment.tellg()) + Base;
            out.WriteU32(Offset32(offset));
            out.Seek(out.Position() + 4);
            ++e;
        }
        // Past the table, or past the last base frame of this segment: nothing left.
        if (e >= EntryCount || int64_t(k) * e > Last)
            break;
        SkipRecord(Segment, SegmentName);
    }
    out.Seek(out.Size());
}
