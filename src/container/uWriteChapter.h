#pragma once
// The chapter table: one 8-byte entry {offset of the first frame record, 100} right
// after the head. The offset is a placeholder until the image writer appends the first
// segment. TWriteBaseFrame (uWriteBaseFrame.h) reuses the entry writing and patching
// for the base-frame table.

#include "container/uWriteData.h"

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

class TLMSetVideoInfo;

class TWriteChapter : public TWriteData {
public:
    TWriteChapter(TOutStream* Stream, TLMSetVideoInfo& Profile, std::string ModelName);

    void Write() override;
    // Sets Entries, EntryCount and TablePos for this table.
    virtual void Prepare();

    // Writes Value into the offset word of entry Index and moves past the entry.
    void PatchEntry(uint16_t Index, uint32_t Value);

    // Fills the offset words of the base frames among frames First..Last. Segment holds
    // the records of exactly those frames back to back and is about to be appended at
    // output offset Base; First is a multiple of the base-frame interval. Entries beyond
    // the table are never written. SegmentName goes into error messages.
    void PatchKeyFrames(int First, int Last, std::istream& Segment, uint64_t Base,
                        const std::string& SegmentName);

    std::vector<uint32_t> Entries;
    int EntryCount = 0;

protected:
    TLMSetVideoInfo& Profile_;
    std::string ModelName_;

private:
    void SkipRecord(std::istream& Segment, const std::string& SegmentName) const;
};
