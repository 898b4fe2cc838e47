#pragma once
// The characters a movie defines, parsed from their tags: shapes (with their paths
// assembled once and kept), morph shapes, bitmaps, fonts, static and edit texts and
// video streams. Parsing is lenient: a damaged definition yields what could be read.

#include "platform/swf/SwfBits.h"
#include "platform/swf/SwfMovie.h"

#include <QColor>
#include <QGradient>
#include <QImage>
#include <QPainterPath>
#include <QString>
#include <QTransform>

#include <memory>
#include <optional>
#include <vector>

namespace omm::swf {

QTransform ReadMatrix(SwfBitReader& r);
QColor ReadRgb(SwfBitReader& r);
QColor ReadRgba(SwfBitReader& r);
SwfRect ReadRect(SwfBitReader& r);

// Colour transform: colour * mult + add, per channel, on 0..255 values.
struct SwfColorTransform {
    double mult[4] = {1, 1, 1, 1}; // r g b a
    double add[4] = {0, 0, 0, 0};
    bool IsIdentity() const;
    bool OnlyAlpha() const; // only an alpha multiplier (drawable with painter opacity)
    QColor Apply(const QColor& c) const;
    QRgb ApplyPremultiplied(QRgb c) const;
    // This transform applied after inner: (inner then this).
    SwfColorTransform After(const SwfColorTransform& inner) const;
    bool operator==(const SwfColorTransform& o) const;
};
SwfColorTransform ReadColorTransform(SwfBitReader& r, bool withAlpha);

struct SwfFillStyle {
    enum Kind { Solid, Linear, Radial, Focal, Bitmap };
    Kind kind = Solid;
    QColor color = Qt::black;
    QTransform matrix;    // gradient square or bitmap pixels to shape twips
    QGradientStops stops; // positions 0..1
    QGradient::Spread spread = QGradient::PadSpread;
    double focal = 0;
    uint16_t bitmapId = 0;
    bool repeat = true;
    bool smooth = true;
};

struct SwfLineStyle {
    double width = 20; // twips
    QColor color = Qt::black;
    bool hasFill = false;
    SwfFillStyle fill;
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    double miter = 3;
};

// One edge of a shape, in twips; straight edges have curve false.
struct SwfEdge {
    double x0 = 0, y0 = 0, cx = 0, cy = 0, x1 = 0, y1 = 0;
    bool curve = false;
    int fill0 = -1, fill1 = -1, line = -1; // global style indexes, -1 none
    int group = 0;                         // style group (new styles start a group)
};

// Paths ready to draw, grouped the way Flash draws them: each style group's fills in
// style order, then its lines.
struct SwfShapeGroup {
    std::vector<std::pair<int, QPainterPath>> fills; // fill style index, closed path
    std::vector<std::pair<int, QPainterPath>> lines; // line style index, open path
    // Outlines of the scaled lines, made on first use (stroking is the costly part of
    // drawing a line, and it does not change with the matrix).
    mutable std::vector<QPainterPath> strokes;
};

struct SwfShape {
    SwfRect bounds;
    std::vector<SwfFillStyle> fills;
    std::vector<SwfLineStyle> lines;
    std::vector<SwfShapeGroup> groups;
    QPainterPath outline; // union of every fill path (used as a clip mask)
};

// Assembles edges into closed contours per fill style and strokes per line style.
std::vector<SwfShapeGroup> BuildShapeGroups(const std::vector<SwfEdge>& edges, int groupCount);

std::shared_ptr<SwfShape> ParseShape(const SwfTag& tag);

struct SwfMorphShape {
    SwfRect startBounds, endBounds;
    std::vector<SwfFillStyle> startFills, endFills;
    std::vector<SwfLineStyle> startLines, endLines;
    std::vector<SwfEdge> startEdges, endEdges; // paired one to one
    // Shape at ratio 0..65535 (kept for the last ratio asked).
    std::shared_ptr<const SwfShape> At(uint16_t ratio);

private:
    int cachedRatio_ = -1;
    std::shared_ptr<const SwfShape> cached_;
};
std::shared_ptr<SwfMorphShape> ParseMorphShape(const SwfTag& tag);

struct SwfFont {
    QString name;
    bool bold = false, italic = false;
    double emSquare = 1024; // 20480 for DefineFont3
    std::vector<QPainterPath> glyphs;
    std::vector<uint16_t> codes;
    std::vector<int16_t> advances;
    double ascent = 0; // em units, 0 when unknown
    bool HasGlyphShapes() const;
};
std::shared_ptr<SwfFont> ParseFont(const SwfTag& tag);
// Adds the name and code table of DefineFontInfo / DefineFontInfo2 to a DefineFont.
void ApplyFontInfo(SwfFont& font, const SwfTag& tag);

struct SwfTextGlyph {
    uint32_t index = 0;
    double x = 0; // twips from the text origin
};
struct SwfTextRun {
    uint16_t fontId = 0;
    QColor color = Qt::black;
    double x = 0, y = 0, height = 240; // twips
    std::vector<SwfTextGlyph> glyphs;
};
struct SwfText {
    SwfRect bounds;
    QTransform matrix;
    std::vector<SwfTextRun> runs;
    // The glyphs of each run joined into one outline in text coordinates, made on first
    // use with the font it was made from (one fill per run instead of one per glyph).
    mutable std::vector<std::pair<const void*, QPainterPath>> runOutlines;
};
std::shared_ptr<SwfText> ParseText(const SwfTag& tag);

struct SwfEditText {
    SwfRect bounds;
    uint16_t fontId = 0;
    bool hasFont = false;
    double height = 240;
    QColor color = Qt::black;
    bool wordWrap = false, multiline = false, password = false, border = false, html = false,
         useOutlines = false;
    int align = 0; // 0 left, 1 right, 2 centre, 3 justify
    double leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;
    QString text; // plain text (HTML already reduced to text)
};
std::shared_ptr<SwfEditText> ParseEditText(const SwfTag& tag, uint8_t version);

struct SwfVideoStream {
    uint16_t frames = 0, width = 0, height = 0;
    uint8_t codec = 0;
    bool smoothing = false;
};
std::optional<SwfVideoStream> ParseVideoStream(const SwfTag& tag);

// Decodes DefineBits (with the movie's JPEGTables), DefineBitsJPEG2/3/4 and
// DefineBitsLossless/2 into a premultiplied ARGB image; null image on damaged data.
QImage DecodeBitmap(const SwfTag& tag, std::span<const uint8_t> jpegTables,
                    std::string* error = nullptr);

// Limit on decoded bitmap sizes (pixels) so a hostile header cannot ask for gigabytes.
constexpr int64_t MaxBitmapPixels = 8192LL * 8192LL;

} // namespace omm::swf
