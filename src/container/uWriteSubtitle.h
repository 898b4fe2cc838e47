#pragma once
// Subtitles of LM63 videos. The subtitle file beside the source (".srt") has three
// header numbers, a line that is not read, then entries of five lines: number, time
// line ("h:m:s,ms --> h:m:s,ms"), first text line, second text line, separator.
// Write turns it into the subtitle table (header numbers, then {start, end, text offset}
// per entry); PatchTextOffsets, called after the end mark, appends the texts (GBK, each
// line closed by a NUL byte) and fills in their offsets. Other models get nothing.
//
// The file may be UTF-8 (with or without a byte-order mark) or GBK; texts reach the
// device in GBK.

#include "container/uWriteData.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TWriteSubtitle : public TWriteData {
public:
    // Shows a message box: text, caption.
    using MessageHandler = std::function<void(const std::string&, const std::string&)>;

    TWriteSubtitle(TOutStream* Stream, std::string ModelName, std::string SubtitleFile);

    void Write() override;
    void PatchTextOffsets(uint32_t Base);

    // Checks a subtitle file line by line; false with Message set at the first failure.
    static bool CheckSubtitleFile(const std::string& FileName, std::string* Message);

    // Receives the "format error" message of Write; may be empty.
    MessageHandler ShowMessage;

    std::string TextPool;              // the texts, back to back (GBK)
    std::vector<uint32_t> TextOffsets; // offset of each text within TextPool
    size_t EntryCount() const { return TextOffsets.size(); }

private:
    std::string ModelName_;
    std::string SubtitleFile_;
};

// Reads a subtitle file as lines of GBK bytes (UTF-8 input is converted), or returns
// false when the file does not exist. Throws TEncodeError when it cannot be read.
bool ReadSubtitleLines(const std::string& FileName, std::vector<std::string>& Lines);
// Parses "h:m:s,ms" (blanks around the parts allowed) into milliseconds.
bool ParseSubtitleTime(const std::string& Text, uint32_t& Value);
