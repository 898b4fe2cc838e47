#include "codec/uGraphicDecode.h"

#include <cstring>

#include "codec/uJpegSupport.h"
#include "codec/uLittleEndian.h"

namespace {

constexpr int BlockSize = 254;
constexpr size_t HeadSize = 9;
constexpr size_t TailSize = 2;
constexpr uint16_t RunFlag = 0x0020;

// Reads a payload byte by byte and names the offset (within the record) of any problem.
class TReader {
public:
    TReader(std::span<const uint8_t> Bytes, size_t Base) : Bytes_(Bytes), Base_(Base) {}

    bool AtEnd() const { return Pos_ >= Bytes_.size(); }
    size_t Offset() const { return Base_ + Pos_; }
    uint8_t Peek() const { return Bytes_[Pos_]; }
    uint8_t U8(const char* What) {
        if (AtEnd())
            throw TDecodeError(std::string("record ends inside ") + What, Offset());
        return Bytes_[Pos_++];
    }
    uint16_t U16(const char* What) {
        if (Bytes_.size() - Pos_ < 2)
            throw TDecodeError(std::string("record ends inside ") + What, Offset());
        const uint16_t V = GetU16(Bytes_.data() + Pos_);
        Pos_ += 2;
        return V;
    }

private:
    std::span<const uint8_t> Bytes_;
    size_t Base_;
    size_t Pos_ = 0;
};

uint8_t Widen5(unsigned V) {
    return uint8_t((V << 3) | (V >> 2));
}

void PutWord(uint8_t* P, uint16_t Word) {
    P[0] = Widen5(Word & 31);
    P[1] = Widen5((Word >> 6) & 31);
    P[2] = Widen5((Word >> 11) & 31);
}

void PutGrey(uint8_t* P, unsigned Level) {
    P[0] = P[1] = P[2] = uint8_t(Level * 17);
}

// Reads the block mark that opens the changes of one block, when one stands at R;
// block numbers must increase through a delta payload.
bool TakeBlockMark(TReader& R, int& Block) {
    if (R.Peek() != 0xFF)
        return false;
    const size_t At = R.Offset();
    R.U8("a block mark");
    if (R.U8("a block mark") != 0x03)
        throw TDecodeError("unknown mark in a delta payload", At);
    const int B = R.U8("a block mark");
    if (B <= Block)
        throw TDecodeError("block number " + std::to_string(B) + " does not increase", At);
    Block = B;
    return true;
}

void DecodeLM41(TReader& R, uint8_t Type, int PixelCount, uint8_t* Pixels) {
    if (Type == 0 || Type == 2) {
        const int Pairs = PixelCount / 2;
        for (int I = 0; I < Pairs; ++I) {
            const uint8_t B = R.U8("the packed grey levels");
            PutGrey(Pixels + size_t(2 * I) * 3, B >> 4);
            PutGrey(Pixels + size_t(2 * I + 1) * 3, B & 15);
        }
        if (!R.AtEnd())
            throw TDecodeError("extra bytes after the packed grey levels", R.Offset());
        return;
    }
    int Block = -1;
    while (!R.AtEnd()) {
        if (TakeBlockMark(R, Block))
            continue;
        const size_t At = R.Offset();
        const int Offset = R.U8("a change");
        if (Block < 0)
            throw TDecodeError("change before the first block mark", At);
        if (Offset >= BlockSize)
            throw TDecodeError("pixel offset " + std::to_string(Offset) + " out of range", At);
        const int N = Block * BlockSize + Offset;
        if (N >= PixelCount)
            throw TDecodeError("pixel " + std::to_string(N) + " lies outside the frame", At);
        const uint8_t Level = R.U8("a change");
        if (Level > 15)
            throw TDecodeError("grey level " + std::to_string(Level) + " out of range",
                               R.Offset() - 1);
        PutGrey(Pixels + size_t(N) * 3, Level);
    }
}

void DecodeLM52(TReader& R, uint8_t Type, int PixelCount, uint8_t* Pixels) {
    if (Type == 0 || Type == 2) {
        int N = 0;
        while (!R.AtEnd()) {
            const size_t At = R.Offset();
            const uint16_t Word = R.U16("a run");
            int Run = 1;
            if (Word & RunFlag) {
                Run = R.U16("a run length");
                if (Run == 0)
                    throw TDecodeError("run of length 0", At);
            }
            if (Run > PixelCount - N)
                throw TDecodeError("run of " + std::to_string(Run) + " pixels goes past the " +
                                       "end of the frame",
                                   At);
            for (int I = 0; I < Run; ++I, ++N)
                PutWord(Pixels + size_t(N) * 3, uint16_t(Word & ~RunFlag));
        }
        if (N != PixelCount)
            throw TDecodeError("runs cover " + std::to_string(N) + " of " +
                                   std::to_string(PixelCount) + " pixels",
                               R.Offset());
        return;
    }
    int Block = -1;
    int LastPixel = -1;
    while (!R.AtEnd()) {
        if (TakeBlockMark(R, Block))
            continue;
        const size_t At = R.Offset();
        const int Offset = R.U8("a group");
        if (Block < 0)
            throw TDecodeError("group before the first block mark", At);
        if (Offset >= BlockSize)
            throw TDecodeError("pixel offset " + std::to_string(Offset) + " out of range", At);
        int N = Block * BlockSize + Offset;
        if (N <= LastPixel)
            throw TDecodeError(
                "group starts at pixel " + std::to_string(N) + ", not after the previous one", At);
        for (;;) {
            if (N >= PixelCount)
                throw TDecodeError("pixel " + std::to_string(N) + " lies outside the frame",
                                   R.Offset());
            const uint16_t Word = R.U16("a group of colour words");
            PutWord(Pixels + size_t(N) * 3, uint16_t(Word & ~RunFlag));
            LastPixel = N++;
            if (!(Word & RunFlag))
                break;
        }
    }
}

// libjpeg part, free of C++ objects between setjmp and the last library call.
bool DecodeJpegInto(const uint8_t* Data, size_t Size, int Width, int Height, uint8_t* Pixels,
                    int* GotWidth, int* GotHeight, char* Message) {
    jpeg_decompress_struct Info;
    TJpegErrorManager Errors;
    InstallJpegErrorManager(reinterpret_cast<j_common_ptr>(&Info), Errors);
    if (setjmp(Errors.Jump)) {
        std::strncpy(Message, Errors.Message, JMSG_LENGTH_MAX);
        jpeg_destroy_decompress(&Info);
        return false;
    }
    jpeg_create_decompress(&Info);
    jpeg_mem_src(&Info, Data, static_cast<unsigned long>(Size));
    jpeg_read_header(&Info, TRUE);
    *GotWidth = int(Info.image_width);
    *GotHeight = int(Info.image_height);
    if (*GotWidth != Width || *GotHeight != Height) {
        jpeg_destroy_decompress(&Info);
        return false;
    }
    Info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&Info);
    while (Info.output_scanline < Info.output_height) {
        JSAMPROW Row = Pixels + size_t(Info.output_scanline) * size_t(Width) * 3;
        jpeg_read_scanlines(&Info, &Row, 1);
    }
    jpeg_finish_decompress(&Info);
    jpeg_destroy_decompress(&Info);
    return true;
}

void DecodeLM63(std::span<const uint8_t> Record, int Width, int Height, TBitmap& Out) {
    const std::span<const uint8_t> Jpeg = Record.subspan(4);
    if (Jpeg.size() < 4 || Jpeg[0] != 0xFF || Jpeg[1] != 0xD8)
        throw TDecodeError("picture does not start with a JPEG start-of-image marker", 4);
    if (Jpeg[Jpeg.size() - 2] != 0xFF || Jpeg[Jpeg.size() - 1] != 0xD9)
        throw TDecodeError("picture does not end with a JPEG end-of-image marker",
                           Record.size() - 2);
    int GotWidth = 0, GotHeight = 0;
    char Message[JMSG_LENGTH_MAX] = {};
    if (!DecodeJpegInto(Jpeg.data(), Jpeg.size(), Width, Height, Out.Data(), &GotWidth, &GotHeight,
                        Message)) {
        if (Message[0])
            throw TDecodeError(std::string("damaged JPEG picture: ") + Message, 4);
        throw TDecodeError("JPEG picture of " + std::to_string(GotWidth) + " x " +
                               std::to_string(GotHeight) + " instead of the frame size " +
                               std::to_string(Width) + " x " + std::to_string(Height),
                           4);
    }
}

} // namespace

TDecodeError::TDecodeError(const std::string& What, size_t Offset)
    : std::runtime_error(What + " (at byte " + std::to_string(Offset) + ")"), Offset_(Offset) {}

std::optional<TCodecKind> CodecForModel(std::string_view ModelName) {
    if (ModelName == "LM41")
        return TCodecKind::LM41;
    if (ModelName == "LM52")
        return TCodecKind::LM52;
    if (ModelName == "LM63")
        return TCodecKind::LM63;
    return std::nullopt;
}

size_t FrameRecordLength(TCodecKind Codec, std::span<const uint8_t> Bytes) {
    if (Codec == TCodecKind::LM63) {
        if (Bytes.size() < 4)
            throw TDecodeError("the frame stream ends inside a record length", 0);
        const uint32_t L = GetU32(Bytes.data());
        if (L == 0)
            return 0;
        if (L < 4 + 4)
            throw TDecodeError("record length " + std::to_string(L) + " is too small", 0);
        if (L > Bytes.size())
            throw TDecodeError("record length " + std::to_string(L) + " goes past the end (" +
                                   std::to_string(Bytes.size()) + " bytes left)",
                               0);
        return L;
    }
    if (Bytes.size() >= 2 && Bytes[0] == 0xFF && Bytes[1] == 0x05)
        return 0;
    if (Bytes.size() < HeadSize + TailSize)
        throw TDecodeError("the frame stream ends inside a record head", 0);
    if (Bytes[0] != 0xFF || Bytes[1] != 0x02)
        throw TDecodeError("no frame head mark FF 02", 0);
    const uint32_t L = GetU32(Bytes.data() + 2);
    if (L < HeadSize + TailSize)
        throw TDecodeError("record length " + std::to_string(L) + " is too small", 2);
    if (L > Bytes.size())
        throw TDecodeError("record length " + std::to_string(L) + " goes past the end (" +
                               std::to_string(Bytes.size()) + " bytes left)",
                           2);
    return L;
}

TDecodedFrame DecodeFrameRecord(TCodecKind Codec, std::span<const uint8_t> Record, int Width,
                                int Height, const TBitmap* Previous) {
    if (Width <= 0 || Height <= 0 || Width > TBitmap::MaxDimension ||
        Height > TBitmap::MaxDimension)
        throw TDecodeError(
            "invalid frame size " + std::to_string(Width) + " x " + std::to_string(Height), 0);
    const size_t Length = FrameRecordLength(Codec, Record);
    if (Length == 0)
        throw TDecodeError("end mark of the frame stream instead of a record", 0);
    if (Length != Record.size())
        throw TDecodeError("record length " + std::to_string(Length) + " differs from the " +
                               std::to_string(Record.size()) + " bytes given",
                           Codec == TCodecKind::LM63 ? 0 : 2);

    TDecodedFrame Frame;
    if (Previous && Previous->Width() == Width && Previous->Height() == Height) {
        Frame.Picture = *Previous;
        Frame.Picture.ConvertTo24();
    } else {
        Frame.Picture.SetSize(Width, Height);
    }

    if (Codec == TCodecKind::LM63) {
        Frame.Type = TFrameType::Jpeg;
        DecodeLM63(Record, Width, Height, Frame.Picture);
        return Frame;
    }

    if (Record[6] != 0xFF || Record[7] != 0x04)
        throw TDecodeError("no frame type mark FF 04", 6);
    const uint8_t Type = Record[8];
    if (Type > 2)
        throw TDecodeError("unknown frame type " + std::to_string(Type), 8);
    if (Record[Length - 2] != 0xFF || Record[Length - 1] != 0x01)
        throw TDecodeError("no frame end mark FF 01", Length - 2);
    const int64_t PixelCount = int64_t(Width) * Height;
    if (PixelCount > BlockSize * 256 && Type == 1)
        throw TDecodeError("frame too large for delta addressing", 8);
    Frame.Type = TFrameType(Type);
    const std::span<const uint8_t> Payload = Record.subspan(HeadSize, Length - HeadSize - TailSize);
    Frame.Unchanged = Type == 1 && Payload.empty();
    TReader R(Payload, HeadSize);
    if (Codec == TCodecKind::LM41)
        DecodeLM41(R, Type, int(PixelCount), Frame.Picture.Data());
    else
        DecodeLM52(R, Type, int(PixelCount), Frame.Picture.Data());
    return Frame;
}

TGraphicDecoder::TGraphicDecoder(TCodecKind Codec, int Width, int Height)
    : Codec_(Codec), Width_(Width), Height_(Height) {}

size_t TGraphicDecoder::DecodeNext(std::span<const uint8_t> Bytes) {
    const size_t Length = FrameRecordLength(Codec_, Bytes);
    if (Length == 0)
        return 0;
    const TBitmap* Previous = Frames_ > 0 ? &Current_.Picture : nullptr;
    TDecodedFrame Next = DecodeFrameRecord(Codec_, Bytes.first(Length), Width_, Height_, Previous);
    Current_ = std::move(Next);
    ++Frames_;
    return Length;
}
