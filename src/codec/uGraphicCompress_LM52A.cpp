#include "codec/uGraphicCompress_LM52A.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "codec/uJpegSupport.h"

namespace {

void JpegErrorExit(j_common_ptr Info) {
    auto* Manager = reinterpret_cast<TJpegErrorManager*>(Info->err);
    (*Info->err->format_message)(Info, Manager->Message);
    std::longjmp(Manager->Jump, 1);
}

void JpegOutputMessage(j_common_ptr) {}

// The whole libjpeg sequence lives in this function, with no C++ objects alive across
// setjmp, so a longjmp out of the library skips no destructor.
bool EncodeInto(const uint8_t* Pixels, int Width, int Height, int Quality, unsigned char** Out,
                unsigned long* OutSize, char* Message) {
    jpeg_compress_struct Info;
    TJpegErrorManager Errors;
    Info.err = jpeg_std_error(&Errors.Public);
    InstallJpegErrorManager(reinterpret_cast<j_common_ptr>(&Info), Errors);
    if (setjmp(Errors.Jump)) {
        std::strncpy(Message, Errors.Message, JMSG_LENGTH_MAX);
        jpeg_destroy_compress(&Info);
        return false;
    }
    jpeg_create_compress(&Info);
    jpeg_mem_dest(&Info, Out, OutSize);
    Info.image_width = JDIMENSION(Width);
    Info.image_height = JDIMENSION(Height);
    Info.input_components = 3;
    Info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&Info);
    jpeg_set_quality(&Info, Quality, TRUE);
    jpeg_start_compress(&Info, TRUE);
    while (Info.next_scanline < Info.image_height) {
        JSAMPROW Row =
            const_cast<JSAMPROW>(Pixels + size_t(Info.next_scanline) * size_t(Width) * 3);
        jpeg_write_scanlines(&Info, &Row, 1);
    }
    jpeg_finish_compress(&Info);
    jpeg_destroy_compress(&Info);
    return true;
}

} // namespace

void InstallJpegErrorManager(jpeg_common_struct* Info, TJpegErrorManager& Manager) {
    Info->err = jpeg_std_error(&Manager.Public);
    Manager.Public.error_exit = JpegErrorExit;
    Manager.Public.output_message = JpegOutputMessage;
    Manager.Message[0] = '\0';
}

TGraphicCompress_LM52A::TGraphicCompress_LM52A() = default;
TGraphicCompress_LM52A::~TGraphicCompress_LM52A() = default;

void TGraphicCompress_LM52A::SetQuality(int Value) {
    TGraphicCompressBase::SetQuality(Value);
}

std::vector<uint8_t> TGraphicCompress_LM52A::EncodeJpeg(const TBitmap& Picture, int Quality) {
    if (Picture.Format() != TPixelFormat::Bgr24) {
        TBitmap Wide = Picture;
        Wide.ConvertTo24();
        return EncodeJpeg(Wide, Quality);
    }
    if (Picture.Empty())
        throw TCodecError("JPEG: empty picture (" + std::to_string(Picture.Width()) + " x " +
                          std::to_string(Picture.Height()) + ")");
    unsigned char* Out = nullptr;
    unsigned long OutSize = 0;
    char Message[JMSG_LENGTH_MAX] = {};
    const bool Ok = EncodeInto(Picture.Data(), Picture.Width(), Picture.Height(), Quality, &Out,
                               &OutSize, Message);
    std::vector<uint8_t> Bytes;
    if (Ok && Out)
        Bytes.assign(Out, Out + OutSize);
    std::free(Out);
    if (!Ok)
        throw TCodecError(std::string("JPEG encoding failed: ") + Message);
    return Bytes;
}

void TGraphicCompress_LM52A::CompressFrame(const TBitmap& Picture, const std::string& SourceFile) {
    TOutStream& S = Out();
    TGraphicCompressBase::CompressFrame(Picture, SourceFile);
    Buffer_ = EncodeJpeg(Picture, Quality);
    const uint64_t Length = uint64_t(Buffer_.size()) + 4;
    if (Length > 0xFFFFFFFFu)
        throw TCodecError(SourceFile + ": JPEG picture too large for a frame record");
    if (!SourceFile.empty()) {
        std::filesystem::path Side(SourceFile);
        Side.replace_extension(".jpg");
        WriteWholeFile(Side, Buffer_.data(), Buffer_.size());
    }
    S.WriteU32(uint32_t(Length));
    S.Write(Buffer_.data(), Buffer_.size());
    Buffer_.clear();
}
