#include "container/uWriteBaseFrame.h"

#include "container/uOaviFormat.h"
#include "settings/LMSetVideoInfoUnit.h"

void TWriteBaseFrame::Prepare() {
    TWriteChapter::Prepare();
    TablePos = oavi::ChapterTableStart + uint64_t(oavi::TableEntrySize) * uint64_t(EntryCount);
    Entries = Profile_.BaseFrames;
    EntryCount = static_cast<int>(Entries.size());
}

void TWriteBaseFrame::Write() {
    TWriteChapter::Write();
}
