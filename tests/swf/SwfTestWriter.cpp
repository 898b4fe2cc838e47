#include "swf/SwfTestWriter.h"

#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace omm::swftest {

void BitWriter::UBits(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
        bits_ = static_cast<uint8_t>((bits_ << 1) | ((value >> i) & 1));
        if (++count_ == 8) {
            data_.push_back(bits_);
            bits_ = 0;
            count_ = 0;
        }
    }
}

void BitWriter::SBits(int32_t value, int bits) {
    UBits(static_cast<uint32_t>(value) & (bits >= 32 ? ~0u : ((1u << bits) - 1)), bits);
}

void BitWriter::Align() {
    if (count_ > 0)
        UBits(0, 8 - count_);
}

void BitWriter::U8(uint8_t v) {
    Align();
    data_.push_back(v);
}
void BitWriter::U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
}
void BitWriter::U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
}
void BitWriter::String(const std::string& s) {
    for (char c : s)
        U8(static_cast<uint8_t>(c));
    U8(0);
}
void BitWriter::Bytes(const std::vector<uint8_t>& b) {
    Align();
    data_.insert(data_.end(), b.begin(), b.end());
}

int BitWriter::SignedBits(int64_t v) {
    int bits = 1;
    while (v < -(int64_t(1) << (bits - 1)) || v >= (int64_t(1) << (bits - 1)))
        ++bits;
    return bits;
}

int BitWriter::UnsignedBits(uint64_t v) {
    int bits = 0;
    while (v >> bits)
        ++bits;
    return bits;
}

void BitWriter::Rect(int32_t xMin, int32_t xMax, int32_t yMin, int32_t yMax) {
    Align();
    int bits = std::max({SignedBits(xMin), SignedBits(xMax), SignedBits(yMin), SignedBits(yMax)});
    UBits(static_cast<uint32_t>(bits), 5);
    SBits(xMin, bits);
    SBits(xMax, bits);
    SBits(yMin, bits);
    SBits(yMax, bits);
    Align();
}

std::vector<uint8_t>& BitWriter::Data() {
    Align();
    return data_;
}

void WriteMatrix(BitWriter& w, const Matrix& m) {
    w.Align();
    auto fixed = [](double v) { return static_cast<int32_t>(std::lround(v * 65536.0)); };
    bool scale = m.scaleX != 1 || m.scaleY != 1;
    w.UBits(scale, 1);
    if (scale) {
        int bits = std::max(BitWriter::SignedBits(fixed(m.scaleX)),
                            BitWriter::SignedBits(fixed(m.scaleY)));
        w.UBits(static_cast<uint32_t>(bits), 5);
        w.SBits(fixed(m.scaleX), bits);
        w.SBits(fixed(m.scaleY), bits);
    }
    bool rotate = m.rotate0 != 0 || m.rotate1 != 0;
    w.UBits(rotate, 1);
    if (rotate) {
        int bits = std::max(BitWriter::SignedBits(fixed(m.rotate0)),
                            BitWriter::SignedBits(fixed(m.rotate1)));
        w.UBits(static_cast<uint32_t>(bits), 5);
        w.SBits(fixed(m.rotate0), bits);
        w.SBits(fixed(m.rotate1), bits);
    }
    int bits = (m.tx == 0 && m.ty == 0)
                   ? 0
                   : std::max(BitWriter::SignedBits(m.tx), BitWriter::SignedBits(m.ty));
    w.UBits(static_cast<uint32_t>(bits), 5);
    w.SBits(m.tx, bits);
    w.SBits(m.ty, bits);
    w.Align();
}

namespace {

void WriteRgba(BitWriter& w, uint32_t rgba, bool alpha) {
    w.U8(static_cast<uint8_t>(rgba >> 24));
    w.U8(static_cast<uint8_t>(rgba >> 16));
    w.U8(static_cast<uint8_t>(rgba >> 8));
    if (alpha)
        w.U8(static_cast<uint8_t>(rgba));
}

void WriteFill(BitWriter& w, const Fill& f, int version) {
    bool alpha = version >= 3;
    switch (f.kind) {
    case Fill::Solid:
        w.U8(0x00);
        WriteRgba(w, f.rgba, alpha);
        break;
    case Fill::Linear:
    case Fill::Radial:
        w.U8(f.kind == Fill::Linear ? 0x10 : 0x12);
        WriteMatrix(w, f.matrix);
        w.U8(static_cast<uint8_t>(f.stops.size()));
        for (const auto& [ratio, rgba] : f.stops) {
            w.U8(ratio);
            WriteRgba(w, rgba, alpha);
        }
        break;
    case Fill::Bitmap:
        w.U8(static_cast<uint8_t>(0x40 | (f.repeat ? 0 : 1) | (f.smooth ? 0 : 2)));
        w.U16(f.bitmapId);
        WriteMatrix(w, f.matrix);
        break;
    }
}

void WriteStyles(BitWriter& w, const ShapeBuilder& s, int version) {
    w.U8(static_cast<uint8_t>(s.fills.size()));
    for (const auto& f : s.fills)
        WriteFill(w, f, version);
    w.U8(static_cast<uint8_t>(s.lines.size()));
    for (const auto& l : s.lines) {
        w.U16(l.width);
        WriteRgba(w, l.rgba, version >= 3);
    }
}

// Writes shape records (after the fill/line bit counts) as deltas from the pen.
void WriteRecords(BitWriter& w, const std::vector<ShapeBuilder::Record>& records, int fillBits,
                  int lineBits) {
    int32_t x = 0, y = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        switch (r.kind) {
        case ShapeBuilder::Record::StyleChange:
        case ShapeBuilder::Record::Move: {
            // A move followed by a style change is written as one record.
            bool move = r.kind == ShapeBuilder::Record::Move;
            const ShapeBuilder::Record* style =
                r.kind == ShapeBuilder::Record::StyleChange ? &r : nullptr;
            if (move && i + 1 < records.size() &&
                records[i + 1].kind == ShapeBuilder::Record::StyleChange)
                style = &records[++i];
            bool f0 = style && style->a >= 0, f1 = style && style->b >= 0,
                 ln = style && style->c >= 0;
            w.UBits(0, 1);
            w.UBits(0, 1); // new styles
            w.UBits(ln, 1);
            w.UBits(f1, 1);
            w.UBits(f0, 1);
            w.UBits(move, 1);
            if (move) {
                int bits = std::max(BitWriter::SignedBits(r.a), BitWriter::SignedBits(r.b));
                w.UBits(static_cast<uint32_t>(bits), 5);
                w.SBits(r.a, bits);
                w.SBits(r.b, bits);
                x = r.a;
                y = r.b;
            }
            if (f0)
                w.UBits(static_cast<uint32_t>(style->a), fillBits);
            if (f1)
                w.UBits(static_cast<uint32_t>(style->b), fillBits);
            if (ln)
                w.UBits(static_cast<uint32_t>(style->c), lineBits);
            break;
        }
        case ShapeBuilder::Record::Straight: {
            int32_t dx = r.a - x, dy = r.b - y;
            int bits = std::max({BitWriter::SignedBits(dx), BitWriter::SignedBits(dy), 2});
            w.UBits(1, 1);
            w.UBits(1, 1);
            w.UBits(static_cast<uint32_t>(bits - 2), 4);
            if (dx != 0 && dy != 0) {
                w.UBits(1, 1);
                w.SBits(dx, bits);
                w.SBits(dy, bits);
            } else {
                w.UBits(0, 1);
                w.UBits(dx == 0, 1);
                w.SBits(dx == 0 ? dy : dx, bits);
            }
            x = r.a;
            y = r.b;
            break;
        }
        case ShapeBuilder::Record::Curve: {
            int32_t cdx = r.a - x, cdy = r.b - y, adx = r.c - r.a, ady = r.d - r.b;
            int bits = std::max({BitWriter::SignedBits(cdx), BitWriter::SignedBits(cdy),
                                 BitWriter::SignedBits(adx), BitWriter::SignedBits(ady), 2});
            w.UBits(1, 1);
            w.UBits(0, 1);
            w.UBits(static_cast<uint32_t>(bits - 2), 4);
            w.SBits(cdx, bits);
            w.SBits(cdy, bits);
            w.SBits(adx, bits);
            w.SBits(ady, bits);
            x = r.c;
            y = r.d;
            break;
        }
        }
    }
    w.UBits(0, 6); // end of shape
    w.Align();
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& in) {
    uLongf size = compressBound(static_cast<uLong>(in.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, in.data(), static_cast<uLong>(in.size()), 9) != Z_OK)
        throw std::runtime_error("zlib compression failed");
    out.resize(size);
    return out;
}

std::vector<uint8_t> TagBytes(uint16_t code, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    auto u16 = [&out](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    if (body.size() < 0x3F && code != 19 && code != 21 && code != 35 && code != 20 && code != 36) {
        u16(static_cast<uint16_t>((code << 6) | body.size()));
    } else {
        u16(static_cast<uint16_t>((code << 6) | 0x3F));
        u16(static_cast<uint16_t>(body.size()));
        u16(static_cast<uint16_t>(body.size() >> 16));
    }
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

} // namespace

void ShapeBuilder::Touch(int32_t x, int32_t y) {
    if (!any) {
        minX = maxX = x;
        minY = maxY = y;
        any = true;
    }
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
}

void ShapeBuilder::Style(int fill0, int fill1, int line) {
    records.push_back({Record::StyleChange, fill0, fill1, line, 0});
}

void ShapeBuilder::MoveTo(int32_t x, int32_t y) {
    records.push_back({Record::Move, x, y, 0, 0});
    penX = x;
    penY = y;
    Touch(x, y);
}

void ShapeBuilder::LineTo(int32_t x, int32_t y) {
    records.push_back({Record::Straight, x, y, 0, 0});
    penX = x;
    penY = y;
    Touch(x, y);
}

void ShapeBuilder::CurveTo(int32_t cx, int32_t cy, int32_t x, int32_t y) {
    records.push_back({Record::Curve, cx, cy, x, y});
    penX = x;
    penY = y;
    Touch(cx, cy);
    Touch(x, y);
}

void ShapeBuilder::Rect(int32_t x, int32_t y, int32_t w, int32_t h, int fill1, int line) {
    MoveTo(x, y);
    Style(0, fill1, line);
    LineTo(x + w, y);
    LineTo(x + w, y + h);
    LineTo(x, y + h);
    LineTo(x, y);
}

SwfTestWriter::SwfTestWriter(int widthPx, int heightPx, double fps, uint8_t version)
    : width_(widthPx), height_(heightPx), fps_(fps), version_(version) {}

std::vector<uint8_t>& SwfTestWriter::Open() {
    return inSprite_ ? spriteTags_ : tags_;
}

void SwfTestWriter::Tag(uint16_t code, const std::vector<uint8_t>& body) {
    auto bytes = TagBytes(code, body);
    auto& out = Open();
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void SwfTestWriter::ShowFrame() {
    Tag(1, {});
    if (inSprite_)
        ++spriteFrames_;
    else
        ++frames_;
}

void SwfTestWriter::Background(uint32_t rgb) {
    Tag(9, {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
            static_cast<uint8_t>(rgb)});
}

void SwfTestWriter::Label(const std::string& name) {
    BitWriter w;
    w.String(name);
    Tag(43, w.Data());
}

void SwfTestWriter::DoAction(const std::vector<uint8_t>& actions) {
    auto body = actions;
    body.push_back(0);
    Tag(12, body);
}

void SwfTestWriter::Place(uint16_t id, uint16_t depth, const Matrix& m, const ColorTransform* cx,
                          int ratio, int clipDepth, const std::string& name) {
    BitWriter w;
    uint8_t flags = 0x02 | 0x04;
    if (cx)
        flags |= 0x08;
    if (ratio >= 0)
        flags |= 0x10;
    if (!name.empty())
        flags |= 0x20;
    if (clipDepth > 0)
        flags |= 0x40;
    w.U8(flags);
    w.U16(depth);
    w.U16(id);
    WriteMatrix(w, m);
    if (cx) {
        int mult[4], bits = 1;
        for (int i = 0; i < 4; ++i) {
            mult[i] = static_cast<int>(std::lround(cx->mult[i] * 256));
            bits =
                std::max({bits, BitWriter::SignedBits(mult[i]), BitWriter::SignedBits(cx->add[i])});
        }
        w.UBits(1, 1);
        w.UBits(1, 1);
        w.UBits(static_cast<uint32_t>(bits), 4);
        for (int v : mult)
            w.SBits(v, bits);
        for (int v : cx->add)
            w.SBits(v, bits);
        w.Align();
    }
    if (ratio >= 0)
        w.U16(static_cast<uint16_t>(ratio));
    if (!name.empty())
        w.String(name);
    if (clipDepth > 0)
        w.U16(static_cast<uint16_t>(clipDepth));
    Tag(26, w.Data());
}

void SwfTestWriter::Move(uint16_t depth, const Matrix& m, int ratio) {
    BitWriter w;
    w.U8(static_cast<uint8_t>(0x01 | 0x04 | (ratio >= 0 ? 0x10 : 0)));
    w.U16(depth);
    WriteMatrix(w, m);
    if (ratio >= 0)
        w.U16(static_cast<uint16_t>(ratio));
    Tag(26, w.Data());
}

void SwfTestWriter::Remove(uint16_t depth) {
    BitWriter w;
    w.U16(depth);
    Tag(28, w.Data());
}

uint16_t SwfTestWriter::DefineShape(const ShapeBuilder& shape, int version) {
    uint16_t id = nextId_++;
    BitWriter w;
    w.U16(id);
    w.Rect(shape.minX, shape.maxX, shape.minY, shape.maxY);
    WriteStyles(w, shape, version);
    int fillBits = BitWriter::UnsignedBits(shape.fills.size());
    int lineBits = BitWriter::UnsignedBits(shape.lines.size());
    w.UBits(static_cast<uint32_t>(fillBits), 4);
    w.UBits(static_cast<uint32_t>(lineBits), 4);
    WriteRecords(w, shape.records, fillBits, lineBits);
    Tag(version == 1 ? 2 : version == 2 ? 22 : 32, w.Data());
    return id;
}

uint16_t SwfTestWriter::Rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t rgba,
                             int version) {
    ShapeBuilder s;
    s.fills.push_back(Fill::Color(rgba));
    s.Rect(x, y, w, h, 1);
    return DefineShape(s, version);
}

uint16_t SwfTestWriter::BitsLossless(int width, int height, const std::vector<uint32_t>& argb,
                                     bool alpha) {
    uint16_t id = nextId_++;
    std::vector<uint8_t> raw;
    for (uint32_t p : argb) {
        uint8_t a = static_cast<uint8_t>(p >> 24);
        auto pre = [&](uint8_t c) { return alpha ? static_cast<uint8_t>(c * a / 255) : c; };
        raw.push_back(alpha ? a : 0xFF);
        raw.push_back(pre(static_cast<uint8_t>(p >> 16)));
        raw.push_back(pre(static_cast<uint8_t>(p >> 8)));
        raw.push_back(pre(static_cast<uint8_t>(p)));
    }
    BitWriter w;
    w.U16(id);
    w.U8(5);
    w.U16(static_cast<uint16_t>(width));
    w.U16(static_cast<uint16_t>(height));
    w.Bytes(Deflate(raw));
    Tag(alpha ? 36 : 20, w.Data());
    return id;
}

uint16_t SwfTestWriter::BitsJpeg2(const std::vector<uint8_t>& jpegFile) {
    uint16_t id = nextId_++;
    BitWriter w;
    w.U16(id);
    w.Bytes(jpegFile);
    Tag(21, w.Data());
    return id;
}

uint16_t SwfTestWriter::BitsJpeg3(const std::vector<uint8_t>& jpegFile,
                                  const std::vector<uint8_t>& alpha) {
    uint16_t id = nextId_++;
    BitWriter w;
    w.U16(id);
    w.U32(static_cast<uint32_t>(jpegFile.size()));
    w.Bytes(jpegFile);
    w.Bytes(Deflate(alpha));
    Tag(35, w.Data());
    return id;
}

uint16_t SwfTestWriter::BitsWithTables(const std::vector<uint8_t>& jpeg) {
    // Split the file: quantisation and Huffman tables go to JPEGTables, the rest
    // (frame header and scan) to DefineBits, each framed by its own SOI/EOI.
    std::vector<uint8_t> tables = {0xFF, 0xD8}, image = {0xFF, 0xD8};
    size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        uint8_t marker = jpeg[i + 1];
        size_t length = (jpeg[i + 2] << 8) | jpeg[i + 3];
        if (marker == 0xDA) {
            image.insert(image.end(), jpeg.begin() + static_cast<ptrdiff_t>(i), jpeg.end());
            break;
        }
        auto& to = (marker == 0xDB || marker == 0xC4) ? tables : image;
        to.insert(to.end(), jpeg.begin() + static_cast<ptrdiff_t>(i),
                  jpeg.begin() + static_cast<ptrdiff_t>(std::min(jpeg.size(), i + 2 + length)));
        i += 2 + length;
    }
    tables.push_back(0xFF);
    tables.push_back(0xD9);
    Tag(8, tables);
    uint16_t id = nextId_++;
    BitWriter w;
    w.U16(id);
    w.Bytes(image);
    Tag(6, w.Data());
    return id;
}

uint16_t SwfTestWriter::Font(const std::string& name, const std::string& chars, bool outlines) {
    uint16_t id = nextId_++;
    size_t n = outlines ? chars.size() : 0;
    // One square glyph: (100,-800) to (900,0) in the 1024 em square.
    BitWriter glyph;
    {
        glyph.UBits(1, 4);
        glyph.UBits(0, 4);
        std::vector<ShapeBuilder::Record> records = {
            {ShapeBuilder::Record::Move, 100, -800, 0, 0},
            {ShapeBuilder::Record::StyleChange, -1, 1, -1, 0},
            {ShapeBuilder::Record::Straight, 900, -800, 0, 0},
            {ShapeBuilder::Record::Straight, 900, 0, 0, 0},
            {ShapeBuilder::Record::Straight, 100, 0, 0, 0},
            {ShapeBuilder::Record::Straight, 100, -800, 0, 0}};
        WriteRecords(glyph, records, 1, 0);
    }
    const auto& g = glyph.Data();
    BitWriter w;
    w.U16(id);
    w.U8(0x80 | 0x04); // layout, wide codes
    w.U8(0);
    w.U8(static_cast<uint8_t>(name.size()));
    for (char c : name)
        w.U8(static_cast<uint8_t>(c));
    w.U16(static_cast<uint16_t>(chars.size()));
    size_t table = 2 * chars.size() + 2;
    for (size_t i = 0; i < chars.size(); ++i)
        w.U16(static_cast<uint16_t>(table + (i < n ? i : n) * g.size()));
    w.U16(static_cast<uint16_t>(table + n * g.size()));
    for (size_t i = 0; i < n; ++i)
        w.Bytes(g);
    for (char c : chars)
        w.U16(static_cast<uint8_t>(c));
    w.U16(900); // ascent
    w.U16(200); // descent
    w.S16(0);
    for (size_t i = 0; i < chars.size(); ++i)
        w.S16(1024);
    for (size_t i = 0; i < chars.size(); ++i)
        w.Rect(100, 900, -800, 0);
    w.U16(0); // kerning
    Tag(48, w.Data());
    return id;
}

uint16_t SwfTestWriter::Text(uint16_t fontId, const std::string& chars,
                             const std::string& fontChars, int32_t x, int32_t y, int height,
                             uint32_t rgba, int advance) {
    uint16_t id = nextId_++;
    BitWriter w;
    w.U16(id);
    w.Rect(x, x + advance * static_cast<int32_t>(chars.size()), y - height, y);
    WriteMatrix(w, {});
    int glyphBits = std::max(1, BitWriter::UnsignedBits(fontChars.size()));
    int advanceBits = BitWriter::SignedBits(advance);
    w.U8(static_cast<uint8_t>(glyphBits));
    w.U8(static_cast<uint8_t>(advanceBits));
    w.U8(0x80 | 0x08 | 0x04 | 0x02 | 0x01);
    w.U16(fontId);
    WriteRgba(w, rgba, true);
    w.S16(static_cast<int16_t>(x));
    w.S16(static_cast<int16_t>(y));
    w.U16(static_cast<uint16_t>(height));
    w.U8(static_cast<uint8_t>(chars.size()));
    for (char c : chars) {
        size_t index = fontChars.find(c);
        w.UBits(static_cast<uint32_t>(index == std::string::npos ? 0 : index), glyphBits);
        w.SBits(advance, advanceBits);
    }
    w.Align();
    w.U8(0);
    Tag(33, w.Data());
    return id;
}

uint16_t SwfTestWriter::EditText(const std::string& text, int32_t x, int32_t y, int32_t w,
                                 int32_t h, int height, uint32_t rgba, uint16_t fontId, bool html,
                                 bool border) {
    uint16_t id = nextId_++;
    BitWriter b;
    b.U16(id);
    b.Rect(x, x + w, y, y + h);
    b.U8(static_cast<uint8_t>(0x80 | 0x20 | 0x04 | (fontId ? 0x01 : 0)));
    b.U8(static_cast<uint8_t>((html ? 0x02 : 0) | (border ? 0x08 : 0) | (fontId ? 0x01 : 0)));
    if (fontId) {
        b.U16(fontId);
        b.U16(static_cast<uint16_t>(height));
    }
    WriteRgba(b, rgba, true);
    b.String("");
    b.String(text);
    Tag(37, b.Data());
    return id;
}

uint16_t SwfTestWriter::MorphRect(int32_t x0, int32_t y0, int32_t w0, int32_t h0, uint32_t rgba0,
                                  int32_t x1, int32_t y1, int32_t w1, int32_t h1, uint32_t rgba1) {
    uint16_t id = nextId_++;
    auto rectRecords = [](int32_t x, int32_t y, int32_t w, int32_t h, bool style) {
        std::vector<ShapeBuilder::Record> r = {{ShapeBuilder::Record::Move, x, y, 0, 0}};
        if (style)
            r.push_back({ShapeBuilder::Record::StyleChange, -1, 1, -1, 0});
        r.push_back({ShapeBuilder::Record::Straight, x + w, y, 0, 0});
        r.push_back({ShapeBuilder::Record::Straight, x + w, y + h, 0, 0});
        r.push_back({ShapeBuilder::Record::Straight, x, y + h, 0, 0});
        r.push_back({ShapeBuilder::Record::Straight, x, y, 0, 0});
        return r;
    };
    BitWriter styles;
    styles.U8(1);
    styles.U8(0x00);
    WriteRgba(styles, rgba0, true);
    WriteRgba(styles, rgba1, true);
    styles.U8(0);
    BitWriter start;
    start.UBits(1, 4);
    start.UBits(0, 4);
    WriteRecords(start, rectRecords(x0, y0, w0, h0, true), 1, 0);
    BitWriter end;
    end.UBits(0, 4);
    end.UBits(0, 4);
    WriteRecords(end, rectRecords(x1, y1, w1, h1, false), 0, 0);
    BitWriter w;
    w.U16(id);
    w.Rect(x0, x0 + w0, y0, y0 + h0);
    w.Rect(x1, x1 + w1, y1, y1 + h1);
    w.U32(static_cast<uint32_t>(styles.Data().size() + start.Data().size()));
    w.Bytes(styles.Data());
    w.Bytes(start.Data());
    w.Bytes(end.Data());
    Tag(46, w.Data());
    return id;
}

uint16_t SwfTestWriter::BeginSprite() {
    if (inSprite_)
        throw std::logic_error("sprites are written one at a time");
    inSprite_ = true;
    spriteId_ = nextId_++;
    spriteFrames_ = 0;
    spriteTags_.clear();
    return spriteId_;
}

void SwfTestWriter::EndSprite() {
    Tag(0, {});
    inSprite_ = false;
    BitWriter w;
    w.U16(spriteId_);
    w.U16(static_cast<uint16_t>(spriteFrames_));
    w.Bytes(spriteTags_);
    Tag(39, w.Data());
}

uint16_t SwfTestWriter::DefineSound(uint8_t format, uint8_t rate, bool sixteenBit, bool stereo,
                                    uint32_t samples, const std::vector<uint8_t>& data) {
    uint16_t id = nextId_++;
    BitWriter w;
    w.U16(id);
    w.UBits(format, 4);
    w.UBits(rate, 2);
    w.UBits(sixteenBit, 1);
    w.UBits(stereo, 1);
    w.U32(samples);
    w.Bytes(data);
    Tag(14, w.Data());
    return id;
}

void SwfTestWriter::StartSound(uint16_t soundId) {
    BitWriter w;
    w.U16(soundId);
    w.U8(0);
    Tag(15, w.Data());
}

void SwfTestWriter::SoundStreamHead(uint8_t format, uint8_t rate, bool sixteenBit, bool stereo,
                                    uint16_t samplesPerFrame, bool head2) {
    BitWriter w;
    w.UBits(0, 4);
    w.UBits(rate, 2);
    w.UBits(sixteenBit, 1);
    w.UBits(stereo, 1);
    w.UBits(format, 4);
    w.UBits(rate, 2);
    w.UBits(sixteenBit, 1);
    w.UBits(stereo, 1);
    w.U16(samplesPerFrame);
    if (format == 2)
        w.S16(0);
    Tag(head2 ? 45 : 18, w.Data());
}

void SwfTestWriter::SoundStreamBlock(const std::vector<uint8_t>& data) {
    Tag(19, data);
}

std::vector<uint8_t> SwfTestWriter::Bytes(Compression c, int frameCount) const {
    BitWriter body;
    body.Rect(0, width_ * Twips, 0, height_ * Twips);
    body.U16(static_cast<uint16_t>(std::lround(fps_ * 256)));
    body.U16(static_cast<uint16_t>(frameCount < 0 ? frames_ : frameCount));
    body.Bytes(tags_);
    body.U16(0); // End
    std::vector<uint8_t> rest = body.Data();
    uint32_t length = static_cast<uint32_t>(rest.size() + 8);
    std::vector<uint8_t> out = {static_cast<uint8_t>(c == Compression::None   ? 'F'
                                                     : c == Compression::Zlib ? 'C'
                                                                              : 'Z'),
                                'W', 'S', version_};
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    if (c == Compression::None) {
        out.insert(out.end(), rest.begin(), rest.end());
    } else if (c == Compression::Zlib) {
        auto packed = Deflate(rest);
        out.insert(out.end(), packed.begin(), packed.end());
    } else {
        lzma_options_lzma options;
        lzma_lzma_preset(&options, 6);
        lzma_stream ls = LZMA_STREAM_INIT;
        if (lzma_alone_encoder(&ls, &options) != LZMA_OK)
            throw std::runtime_error("LZMA encoder failed");
        std::vector<uint8_t> packed(rest.size() + rest.size() / 2 + 1024);
        ls.next_in = rest.data();
        ls.avail_in = rest.size();
        ls.next_out = packed.data();
        ls.avail_out = packed.size();
        lzma_ret rc = lzma_code(&ls, LZMA_FINISH);
        size_t produced = packed.size() - ls.avail_out;
        lzma_end(&ls);
        if (rc != LZMA_STREAM_END || produced < 13)
            throw std::runtime_error("LZMA compression failed");
        // .lzma is properties (5), size (8), data; the movie keeps properties and data.
        uint32_t dataLength = static_cast<uint32_t>(produced - 13);
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(dataLength >> (8 * i)));
        out.insert(out.end(), packed.begin(), packed.begin() + 5);
        out.insert(out.end(), packed.begin() + 13,
                   packed.begin() + static_cast<ptrdiff_t>(produced));
    }
    return out;
}

void SwfTestWriter::Save(const std::string& path, Compression c, int frameCount) const {
    auto bytes = Bytes(c, frameCount);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

namespace act {
namespace {
std::vector<uint8_t> Record(uint8_t code, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out;
    out.reserve(body.size() + 3);
    out.push_back(code);
    out.push_back(static_cast<uint8_t>(body.size()));
    out.push_back(static_cast<uint8_t>(body.size() >> 8));
    for (uint8_t b : body)
        out.push_back(b);
    return out;
}
std::vector<uint8_t> Str(const std::string& s) {
    std::vector<uint8_t> out(s.begin(), s.end());
    out.push_back(0);
    return out;
}
} // namespace
std::vector<uint8_t> Stop() {
    return {0x07};
}
std::vector<uint8_t> Play() {
    return {0x06};
}
std::vector<uint8_t> NextFrame() {
    return {0x04};
}
std::vector<uint8_t> PrevFrame() {
    return {0x05};
}
std::vector<uint8_t> GotoFrame(uint16_t frame) {
    return Record(0x81, {static_cast<uint8_t>(frame), static_cast<uint8_t>(frame >> 8)});
}
std::vector<uint8_t> GotoLabel(const std::string& label) {
    return Record(0x8C, Str(label));
}
std::vector<uint8_t> GotoFrame2(double frameFromOne, bool play) {
    float f = static_cast<float>(frameFromOne);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    auto push = Record(0x96, {1, static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)});
    auto go = Record(0x9F, {static_cast<uint8_t>(play ? 1 : 0)});
    push.insert(push.end(), go.begin(), go.end());
    return push;
}
std::vector<uint8_t> GotoFrame2(const std::string& label, bool play) {
    auto body = Str(label);
    body.insert(body.begin(), 0);
    auto push = Record(0x96, body);
    auto go = Record(0x9F, {static_cast<uint8_t>(play ? 1 : 0)});
    push.insert(push.end(), go.begin(), go.end());
    return push;
}
std::vector<uint8_t> Jump(int16_t offset) {
    return Record(0x99, {static_cast<uint8_t>(offset),
                         static_cast<uint8_t>(static_cast<uint16_t>(offset) >> 8)});
}
std::vector<uint8_t> SetTarget(const std::string& target) {
    return Record(0x8B, Str(target));
}
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
} // namespace act

} // namespace omm::swftest
