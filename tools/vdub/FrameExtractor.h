#pragma once
// Decodes the video of one export job and writes every frame of its range.

#include "JobScript.h"

#include <cstdint>
#include <string>

namespace vdub {

struct ExportResult {
    int64_t FramesWritten = 0;
    std::string Error;   // why nothing (or not everything) could be written
    std::string Warning; // damage that was skipped over
};

ExportResult RunExport(const ExportJob& job);

} // namespace vdub
