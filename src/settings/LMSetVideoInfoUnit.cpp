#include "settings/LMSetVideoInfoUnit.h"

#include "settings/VideoInfoUnit.h"

#include <filesystem>
#include <stdexcept>

namespace {

std::string withExtension(const std::string& fileName, const char* ext) {
    return std::filesystem::path(fileName).replace_extension(ext).string();
}

[[noreturn]] void noVideoFormat(const char* what) {
    throw std::logic_error(std::string("this model takes no device video (") + what + ")");
}

} // namespace

TMediaFileItem TMediaFileItem::ForFile(const std::string& FileName) {
    TMediaFileItem item;
    item.FileName = FileName;
    std::error_code ec;
    item.HasSrt = std::filesystem::exists(withExtension(FileName, ".srt"), ec);
    item.HasMp3 = std::filesystem::exists(withExtension(FileName, ".mp3"), ec);
    return item;
}

uint32_t TLMSetVideoInfo::GetCodecBits() const {
    noVideoFormat("codec bits");
}
int TLMSetVideoInfo::GetKeyFrameInterval() const {
    noVideoFormat("key-frame interval");
}
int TLMSetVideoInfo::GetHeadOption() const {
    noVideoFormat("head option");
}
uint16_t TLMSetVideoInfo::GetFormatBits() const {
    noVideoFormat("format bits");
}
uint32_t TLMSetVideoInfo::GetTypeBits() const {
    noVideoFormat("type bits");
}

uint32_t TLMSetVideoInfo::GetFormatWord() const {
    return GetTypeBits() | GetCodecBits() | uint32_t(GetFormatBits()) | (GetFlagBits() & 0xFFu);
}

const std::vector<uint32_t>& TLMSetVideoInfo::GetChapters() {
    Chapters.assign(1, 100);
    return Chapters;
}

std::string TLMSetVideoInfo::GetCurrentFile() {
    if (FileIndex < 0 || size_t(FileIndex) >= FileList.size())
        return {};
    const std::string& name = FileList[size_t(FileIndex)].FileName;
    if (SourceInfo)
        SourceInfo->LoadFromFile(name);
    return name;
}

std::string TLMSetVideoInfo::GetNextFile() {
    ++FileIndex;
    if (FileIndex < 0 || size_t(FileIndex) >= FileList.size())
        return {};
    return FileList[size_t(FileIndex)].FileName;
}

std::string TLMSetVideoInfo::GetMp3FileName(int Index) const {
    if (Index == -1)
        Index = FileIndex;
    if (Index < 0 || size_t(Index) >= FileList.size())
        return {};
    return withExtension(FileList[size_t(Index)].FileName, ".mp3");
}

uint32_t TLMSetVideoInfo_LM52A::GetTypeBits() const {
    switch (VideoType) {
    case 1:
        return 0x81000000;
    case 2:
        return 0x82000000;
    default:
        return 0x01000000;
    }
}
