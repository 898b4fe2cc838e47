#pragma once
// The job scripts vdub runs: one statement per line, in the dialect the frame extractor
// writes (VirtualDub.Open, audio.SetSource/SetMode/SetVolume, video.SetRange,
// SaveImageSequence, Close). Paths inside the quotes are taken as they are, without
// escapes, because that is how the extractor writes them.

#include <cstdint>
#include <string>
#include <vector>

namespace vdub {

// One image-sequence export: the frames of Source inside the range, written as
// Prefix + zero-padded number + Suffix.
struct ExportJob {
    std::string Source;
    int64_t RangeStartMs = 0;   // milliseconds skipped at the start
    int64_t RangeEndTrimMs = 0; // milliseconds trimmed from the end
    std::string Prefix;
    std::string Suffix = ".bmp";
    int Digits = 6;
    int Format = 0; // 0: BMP (the only format written)
    int Line = 0;   // line of the SaveImageSequence statement
};

struct ParsedScript {
    std::vector<ExportJob> Jobs;
    std::vector<std::string> Warnings; // statements understood but not acted on
    std::string Error;                 // empty when the script is usable
};

// Parses the text of a job script. Name is used in messages only.
ParsedScript ParseJobScript(const std::string& Text, const std::string& Name);

} // namespace vdub
