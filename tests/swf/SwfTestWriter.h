#pragma once
// A small writer of Flash movies for tests: shapes (solid, gradient and bitmap fills,
// lines, curves), bitmaps, fonts with glyph outlines, static and edit texts, sprites,
// morph shapes, timeline actions and sound tags, written as FWS, CWS or ZWS files.
// Coordinates given to the helpers are in twips (20 to a pixel) unless said otherwise.
// It writes what it is told, including nonsense, so tests can also build bad movies.

#include <cstdint>
#include <string>
#include <vector>

namespace omm::swftest {

constexpr int Twips = 20;

class BitWriter {
public:
    void UBits(uint32_t value, int bits);
    void SBits(int32_t value, int bits);
    void Align();
    void U8(uint8_t v);
    void U16(uint16_t v);
    void U32(uint32_t v);
    void S16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void String(const std::string& s); // NUL-terminated
    void Bytes(const std::vector<uint8_t>& b);
    void Rect(int32_t xMin, int32_t xMax, int32_t yMin, int32_t yMax);
    std::vector<uint8_t>& Data();
    // Bits needed to hold a signed / unsigned value.
    static int SignedBits(int64_t v);
    static int UnsignedBits(uint64_t v);

private:
    std::vector<uint8_t> data_;
    uint8_t bits_ = 0;
    int count_ = 0;
};

struct Matrix {
    double scaleX = 1, scaleY = 1, rotate0 = 0, rotate1 = 0;
    int32_t tx = 0, ty = 0; // twips
    static Matrix Translate(int32_t x, int32_t y) { return {1, 1, 0, 0, x, y}; }
    static Matrix Scale(double sx, double sy, int32_t x = 0, int32_t y = 0) {
        return {sx, sy, 0, 0, x, y};
    }
};
void WriteMatrix(BitWriter& w, const Matrix& m);

struct ColorTransform {
    double mult[4] = {1, 1, 1, 1};
    int add[4] = {0, 0, 0, 0};
};

struct Fill {
    enum Kind { Solid, Linear, Radial, Bitmap } kind = Solid;
    uint32_t rgba = 0x000000FF;                      // 0xRRGGBBAA
    std::vector<std::pair<uint8_t, uint32_t>> stops; // ratio, 0xRRGGBBAA
    Matrix matrix;
    uint16_t bitmapId = 0;
    bool repeat = false, smooth = true;
    static Fill Color(uint32_t rgba) { return {Solid, rgba}; }
};

struct Line {
    uint16_t width = 20; // twips
    uint32_t rgba = 0x000000FF;
};

// Shape records in the order they are added.
class ShapeBuilder {
public:
    std::vector<Fill> fills;
    std::vector<Line> lines;
    // Style change: 1-based style numbers, 0 for none, -1 to leave as is.
    void Style(int fill0, int fill1, int line);
    void MoveTo(int32_t x, int32_t y);
    void LineTo(int32_t x, int32_t y);
    void CurveTo(int32_t cx, int32_t cy, int32_t x, int32_t y);
    // A closed rectangle drawn clockwise with fill1 (and line) set.
    void Rect(int32_t x, int32_t y, int32_t w, int32_t h, int fill1, int line = 0);
    struct Record {
        enum Kind { StyleChange, Move, Straight, Curve } kind;
        int32_t a = 0, b = 0, c = 0, d = 0;
    };
    std::vector<Record> records;
    int32_t penX = 0, penY = 0;
    int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
    bool any = false;

private:
    void Touch(int32_t x, int32_t y);
};

class SwfTestWriter {
public:
    enum class Compression { None, Zlib, Lzma };

    SwfTestWriter(int widthPx, int heightPx, double fps = 12.0, uint8_t version = 10);

    // --- timeline -------------------------------------------------------------
    void Tag(uint16_t code, const std::vector<uint8_t>& body); // to the open timeline
    void ShowFrame();
    void Background(uint32_t rgb);
    void Label(const std::string& name);
    void DoAction(const std::vector<uint8_t>& actions); // an End action is appended
    // PlaceObject2 of a new character (flags set only for the fields given).
    void Place(uint16_t id, uint16_t depth, const Matrix& m = {},
               const ColorTransform* cx = nullptr, int ratio = -1, int clipDepth = 0,
               const std::string& name = {});
    void Move(uint16_t depth, const Matrix& m, int ratio = -1);
    void Remove(uint16_t depth);

    // --- definitions (each returns the new character id) -----------------------
    uint16_t NextId() const { return nextId_; }
    uint16_t DefineShape(const ShapeBuilder& shape, int version = 3);
    // A solid rectangle (twips), optionally with an outline.
    uint16_t Rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rgba, int version = 3);
    uint16_t BitsLossless(int width, int height, const std::vector<uint32_t>& argb,
                          bool alpha = false);
    uint16_t BitsJpeg2(const std::vector<uint8_t>& jpegFile);
    uint16_t BitsJpeg3(const std::vector<uint8_t>& jpegFile, const std::vector<uint8_t>& alpha);
    // DefineBits using the movie's JPEGTables: the table and image parts of a JPEG file.
    uint16_t BitsWithTables(const std::vector<uint8_t>& jpegFile);
    // A DefineFont2 with one square glyph per character (full em box minus a margin),
    // or without glyphs (a device font) when outlines is false.
    uint16_t Font(const std::string& name, const std::string& chars, bool outlines = true);
    // DefineText2 of characters of a Font at (x, y) (baseline) with the given height.
    uint16_t Text(uint16_t fontId, const std::string& chars, const std::string& fontChars,
                  int32_t x, int32_t y, int height, uint32_t rgba, int advance);
    uint16_t EditText(const std::string& text, int32_t x, int32_t y, int32_t w, int32_t h,
                      int height, uint32_t rgba, uint16_t fontId = 0, bool html = false,
                      bool border = false);
    // A morph from one solid rectangle to another.
    uint16_t MorphRect(int32_t x0, int32_t y0, int32_t w0, int32_t h0, uint32_t rgba0, int32_t x1,
                       int32_t y1, int32_t w1, int32_t h1, uint32_t rgba1);
    // Sprites: tags between BeginSprite and EndSprite go into the sprite.
    uint16_t BeginSprite();
    void EndSprite();
    // Sound: format 0/3 raw PCM, 1 ADPCM, 2 MP3; rate 0..3 (5.5, 11, 22, 44 kHz).
    uint16_t DefineSound(uint8_t format, uint8_t rate, bool sixteenBit, bool stereo,
                         uint32_t samples, const std::vector<uint8_t>& data);
    void StartSound(uint16_t soundId);
    void SoundStreamHead(uint8_t format, uint8_t rate, bool sixteenBit, bool stereo,
                         uint16_t samplesPerFrame, bool head2 = true);
    void SoundStreamBlock(const std::vector<uint8_t>& data);

    // --- output ----------------------------------------------------------------
    // frameCount: -1 writes the number of frames shown, otherwise the value given.
    std::vector<uint8_t> Bytes(Compression c = Compression::None, int frameCount = -1) const;
    void Save(const std::string& path, Compression c = Compression::None,
              int frameCount = -1) const;
    int Frames() const { return frames_; }

private:
    std::vector<uint8_t>& Open();
    int width_, height_;
    double fps_;
    uint8_t version_;
    uint16_t nextId_ = 1;
    int frames_ = 0;
    std::vector<uint8_t> tags_;
    bool inSprite_ = false;
    uint16_t spriteId_ = 0;
    int spriteFrames_ = 0;
    std::vector<uint8_t> spriteTags_;
};

// Action records for DoAction.
namespace act {
std::vector<uint8_t> Stop();
std::vector<uint8_t> Play();
std::vector<uint8_t> NextFrame();
std::vector<uint8_t> PrevFrame();
std::vector<uint8_t> GotoFrame(uint16_t frame);
std::vector<uint8_t> GotoLabel(const std::string& label);
// Pushes a number (frames from 1, as ActionScript counts) or a label and runs GotoFrame2.
std::vector<uint8_t> GotoFrame2(double frameFromOne, bool play);
std::vector<uint8_t> GotoFrame2(const std::string& label, bool play);
std::vector<uint8_t> Jump(int16_t offset);
std::vector<uint8_t> SetTarget(const std::string& target);
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts);
} // namespace act

} // namespace omm::swftest
