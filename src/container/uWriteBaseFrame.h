#pragma once
// The base-frame table: one 8-byte entry per element of the profile's base-frame
// list (the times of frames 0, K, 2K, ...), after the chapter table. Each offset word is
// patched by the image writer with the offset of that frame's record.

#include "container/uWriteChapter.h"

class TWriteBaseFrame : public TWriteChapter {
public:
    using TWriteChapter::TWriteChapter;

    void Write() override;
    void Prepare() override;
};
