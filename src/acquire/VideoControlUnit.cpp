#include "acquire/VideoControlUnit.h"

#include "container/uVideoEncode.h"

#include <QString>
#include <filesystem>

TVideoControl::TVideoControl(const std::string& ProgramFolder)
    : FrameExtractor(std::make_unique<TBatchDistillVideoFileFrame>(ProgramFolder)) {}

TVideoControl::~TVideoControl() = default;

void TVideoControl::SetupRate(const std::string& ModelName, int CompressGrade) {
    CaptureRate = 10;
    if (ModelName == "LM52" && CompressGrade == 80)
        CaptureRate = 9;
}

bool TVideoControl::IsVideoFile() const {
    std::string ext = std::filesystem::path(FileName).extension().string();
    if (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    return !ext.empty() && QString::fromStdString(ext).compare("SWF", Qt::CaseInsensitive) != 0;
}

void TVideoControl::ReleaseObjects() {
    Encoder.reset();
}
