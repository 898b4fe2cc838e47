#include "platform/swf/SwfCharacters.h"

#include <QRegularExpression>

#include <iconv.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace omm::swf {

namespace {

constexpr size_t MaxStyles = 1 << 16;

// Each shape version reads colours and styles a little differently.
struct ShapeFormat {
    int version = 1;    // DefineShape N (1..4); glyphs use 1
    bool morph = false; // DefineMorphShape (1) or DefineMorphShape2 (2)
    bool rgba() const { return version >= 3; }
};

QColor Blend(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t),
                            static_cast<float>(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

QTransform BlendMatrix(const QTransform& a, const QTransform& b, double t) {
    auto mix = [t](double x, double y) { return x + (y - x) * t; };
    return QTransform(mix(a.m11(), b.m11()), mix(a.m12(), b.m12()), mix(a.m21(), b.m21()),
                      mix(a.m22(), b.m22()), mix(a.dx(), b.dx()), mix(a.dy(), b.dy()));
}

QGradient::Spread SpreadOf(uint32_t mode) {
    switch (mode) {
    case 1:
        return QGradient::ReflectSpread;
    case 2:
        return QGradient::RepeatSpread;
    default:
        return QGradient::PadSpread;
    }
}

Qt::PenCapStyle CapOf(uint32_t cap) {
    switch (cap) {
    case 1:
        return Qt::FlatCap;
    case 2:
        return Qt::SquareCap;
    default:
        return Qt::RoundCap;
    }
}

Qt::PenJoinStyle JoinOf(uint32_t join) {
    switch (join) {
    case 1:
        return Qt::BevelJoin;
    case 2:
        return Qt::MiterJoin;
    default:
        return Qt::RoundJoin;
    }
}

// Reads one fill style; for morph shapes also the end style.
void ReadFillStyle(SwfBitReader& r, const ShapeFormat& f, SwfFillStyle& s, SwfFillStyle* end) {
    uint8_t type = r.U8();
    if (type == 0x00) {
        s.kind = SwfFillStyle::Solid;
        s.color = f.morph ? ReadRgba(r) : (f.rgba() ? ReadRgba(r) : ReadRgb(r));
        if (end) {
            *end = s;
            end->color = ReadRgba(r);
        }
    } else if (type == 0x10 || type == 0x12 || type == 0x13) {
        s.kind = type == 0x10   ? SwfFillStyle::Linear
                 : type == 0x12 ? SwfFillStyle::Radial
                                : SwfFillStyle::Focal;
        s.matrix = ReadMatrix(r);
        if (end) {
            *end = s;
            end->matrix = ReadMatrix(r);
        }
        uint8_t head = r.U8();
        s.spread = SpreadOf(head >> 6);
        int count = head & 0x0F;
        for (int i = 0; i < count; ++i) {
            double ratio = r.U8() / 255.0;
            QColor c = (f.morph || f.rgba()) ? ReadRgba(r) : ReadRgb(r);
            s.stops.push_back({ratio, c});
            if (end) {
                double endRatio = r.U8() / 255.0;
                end->stops.push_back({endRatio, ReadRgba(r)});
            }
        }
        if (end)
            end->spread = s.spread;
        if (type == 0x13) {
            s.focal = std::clamp(r.Fixed8(), -1.0, 1.0);
            if (end)
                end->focal = std::clamp(r.Fixed8(), -1.0, 1.0);
        }
        if (s.stops.empty())
            s.stops.push_back({0.0, QColor(Qt::transparent)});
    } else if (type >= 0x40 && type <= 0x43) {
        s.kind = SwfFillStyle::Bitmap;
        s.bitmapId = r.U16();
        s.matrix = ReadMatrix(r);
        s.repeat = type == 0x40 || type == 0x42;
        s.smooth = type == 0x40 || type == 0x41;
        if (end) {
            *end = s;
            end->matrix = ReadMatrix(r);
        }
    } else {
        // Unknown fill types draw nothing rather than black.
        s.kind = SwfFillStyle::Solid;
        s.color = Qt::transparent;
        if (end)
            *end = s;
    }
}

size_t ReadStyleCount(SwfBitReader& r, bool extended) {
    size_t count = r.U8();
    if (count == 0xFF && extended)
        count = r.U16();
    return std::min(count, MaxStyles);
}

void ReadFillStyles(SwfBitReader& r, const ShapeFormat& f, std::vector<SwfFillStyle>& out,
                    std::vector<SwfFillStyle>* endOut) {
    size_t count = ReadStyleCount(r, f.version >= 2 || f.morph);
    for (size_t i = 0; i < count && !r.Overrun(); ++i) {
        SwfFillStyle s, e;
        ReadFillStyle(r, f, s, endOut ? &e : nullptr);
        out.push_back(s);
        if (endOut)
            endOut->push_back(e);
    }
}

void ReadLineStyles(SwfBitReader& r, const ShapeFormat& f, std::vector<SwfLineStyle>& out,
                    std::vector<SwfLineStyle>* endOut) {
    size_t count = ReadStyleCount(r, f.version >= 2 || f.morph);
    bool styled = f.morph ? f.version >= 2 : f.version >= 4;
    for (size_t i = 0; i < count && !r.Overrun(); ++i) {
        SwfLineStyle s, e;
        s.width = r.U16();
        if (endOut)
            e.width = r.U16();
        if (styled) {
            uint32_t startCap = r.UBits(2), join = r.UBits(2);
            bool hasFill = r.Flag();
            r.UBits(4); // horizontal/vertical scaling, pixel hinting: not used
            r.UBits(5);
            r.UBits(1); // no close
            r.UBits(2); // end cap: Qt pens have one cap
            s.cap = CapOf(startCap);
            s.join = JoinOf(join);
            if (join == 2)
                s.miter = r.Fixed8();
            s.hasFill = hasFill;
            if (hasFill) {
                ReadFillStyle(r, f, s.fill, endOut ? &e.fill : nullptr);
                s.color = s.fill.color;
                e.color = e.fill.color;
            } else {
                s.color = ReadRgba(r);
                if (endOut)
                    e.color = ReadRgba(r);
            }
            e.cap = s.cap;
            e.join = s.join;
            e.miter = s.miter;
            e.hasFill = s.hasFill;
        } else {
            s.color = (f.morph || f.rgba()) ? ReadRgba(r) : ReadRgb(r);
            if (endOut)
                e.color = ReadRgba(r);
        }
        out.push_back(s);
        if (endOut)
            endOut->push_back(e);
    }
}

// Reads shape records into edges. With styles (shapes) the style indexes are turned
// into global ones; without (glyphs, morph end edges) they stay as read.
void ReadShapeRecords(SwfBitReader& r, const ShapeFormat& f, std::vector<SwfFillStyle>* fills,
                      std::vector<SwfLineStyle>* lines, std::vector<SwfEdge>& edges, int& groups,
                      std::vector<std::pair<double, double>>* moves = nullptr) {
    int fillBits = static_cast<int>(r.UBits(4));
    int lineBits = static_cast<int>(r.UBits(4));
    double x = 0, y = 0;
    int fill0 = -1, fill1 = -1, line = -1;
    int fillBase = 0, lineBase = 0;
    groups = 1;
    constexpr size_t MaxEdges = 1 << 21;
    while (!r.Overrun() && edges.size() < MaxEdges) {
        bool isEdge = r.Flag();
        if (!isEdge) {
            uint32_t flags = r.UBits(5);
            if (flags == 0)
                break;
            bool newStyles = flags & 0x10, hasLine = flags & 0x08, hasFill1 = flags & 0x04,
                 hasFill0 = flags & 0x02, moveTo = flags & 0x01;
            if (moveTo) {
                int bits = static_cast<int>(r.UBits(5));
                x = r.SBits(bits);
                y = r.SBits(bits);
                if (moves)
                    moves->push_back({x, y});
            }
            auto style = [](uint32_t v, int base) {
                return v == 0 ? -1 : static_cast<int>(v) - 1 + base;
            };
            if (hasFill0)
                fill0 = style(r.UBits(fillBits), fillBase);
            if (hasFill1)
                fill1 = style(r.UBits(fillBits), fillBase);
            if (hasLine)
                line = style(r.UBits(lineBits), lineBase);
            if (newStyles && fills && lines) {
                fillBase = static_cast<int>(fills->size());
                lineBase = static_cast<int>(lines->size());
                ReadFillStyles(r, f, *fills, nullptr);
                ReadLineStyles(r, f, *lines, nullptr);
                fillBits = static_cast<int>(r.UBits(4));
                lineBits = static_cast<int>(r.UBits(4));
                fill0 = fill1 = line = -1;
                ++groups;
            } else if (newStyles) {
                break; // styles where none may be: the rest is not shape data
            }
            continue;
        }
        SwfEdge e;
        e.x0 = x;
        e.y0 = y;
        e.fill0 = fill0;
        e.fill1 = fill1;
        e.line = line;
        e.group = groups - 1;
        bool straight = r.Flag();
        int bits = static_cast<int>(r.UBits(4)) + 2;
        if (straight) {
            bool general = r.Flag();
            double dx = 0, dy = 0;
            if (general) {
                dx = r.SBits(bits);
                dy = r.SBits(bits);
            } else if (r.Flag()) {
                dy = r.SBits(bits);
            } else {
                dx = r.SBits(bits);
            }
            x += dx;
            y += dy;
        } else {
            e.curve = true;
            e.cx = x + r.SBits(bits);
            e.cy = y + r.SBits(bits);
            x = e.cx + r.SBits(bits);
            y = e.cy + r.SBits(bits);
        }
        e.x1 = x;
        e.y1 = y;
        if (!r.Overrun())
            edges.push_back(e);
    }
    // Styles that refer past the tables draw nothing.
    if (fills && lines) {
        for (auto& e : edges) {
            if (e.fill0 >= static_cast<int>(fills->size()))
                e.fill0 = -1;
            if (e.fill1 >= static_cast<int>(fills->size()))
                e.fill1 = -1;
            if (e.line >= static_cast<int>(lines->size()))
                e.line = -1;
        }
    }
}

uint64_t PointKey(double x, double y) {
    auto xi = static_cast<int32_t>(std::lround(std::clamp(x, -2.0e9, 2.0e9)));
    auto yi = static_cast<int32_t>(std::lround(std::clamp(y, -2.0e9, 2.0e9)));
    return (static_cast<uint64_t>(static_cast<uint32_t>(xi)) << 32) | static_cast<uint32_t>(yi);
}

struct Segment {
    double x0, y0, cx, cy, x1, y1;
    bool curve;
};

void AppendSegment(QPainterPath& path, const Segment& s) {
    if (s.curve)
        path.quadTo(s.cx, s.cy, s.x1, s.y1);
    else
        path.lineTo(s.x1, s.y1);
}

QPainterPath LinkContours(const std::vector<Segment>& segs) {
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    std::unordered_map<uint64_t, std::vector<int>> byStart;
    byStart.reserve(segs.size() * 2);
    for (int i = static_cast<int>(segs.size()) - 1; i >= 0; --i)
        byStart[PointKey(segs[i].x0, segs[i].y0)].push_back(i);
    std::vector<char> used(segs.size(), 0);
    for (size_t first = 0; first < segs.size(); ++first) {
        if (used[first])
            continue;
        uint64_t startKey = PointKey(segs[first].x0, segs[first].y0);
        path.moveTo(segs[first].x0, segs[first].y0);
        size_t cur = first;
        while (true) {
            used[cur] = 1;
            AppendSegment(path, segs[cur]);
            uint64_t endKey = PointKey(segs[cur].x1, segs[cur].y1);
            if (endKey == startKey)
                break;
            auto it = byStart.find(endKey);
            if (it == byStart.end())
                break;
            auto& candidates = it->second;
            while (!candidates.empty() && used[candidates.back()])
                candidates.pop_back();
            if (candidates.empty())
                break;
            cur = static_cast<size_t>(candidates.back());
            candidates.pop_back();
        }
        path.closeSubpath();
    }
    return path;
}

std::optional<std::vector<uint8_t>> InflateAll(std::span<const uint8_t> in, size_t expected) {
    std::vector<uint8_t> out(expected);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return std::nullopt;
    zs.next_in = const_cast<Bytef*>(in.data());
    zs.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(expected);
    int rc = inflate(&zs, Z_FINISH);
    size_t produced = expected - zs.avail_out;
    inflateEnd(&zs);
    if (rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR)
        return std::nullopt;
    if (produced < expected)
        std::fill(out.begin() + static_cast<ptrdiff_t>(produced), out.end(), 0);
    return out;
}

// Joins the table and image streams of Flash JPEG data into one JFIF stream: Flash
// writes an end-of-image/start-of-image pair between them (and older encoders put one
// at the very start), which ordinary decoders stop at.
std::vector<uint8_t> CleanJpeg(std::span<const uint8_t> tables, std::span<const uint8_t> image) {
    std::vector<uint8_t> joined(tables.begin(), tables.end());
    joined.insert(joined.end(), image.begin(), image.end());
    std::vector<uint8_t> out;
    out.reserve(joined.size());
    for (size_t i = 0; i < joined.size(); ++i) {
        if (i + 3 < joined.size() && joined[i] == 0xFF && joined[i + 1] == 0xD9 &&
            joined[i + 2] == 0xFF && joined[i + 3] == 0xD8) {
            i += 3;
            continue;
        }
        out.push_back(joined[i]);
    }
    // A stream that began with the pair lost its start-of-image marker above.
    if (out.size() >= 2 && !(out[0] == 0xFF && out[1] == 0xD8)) {
        static const uint8_t soi[] = {0xFF, 0xD8};
        out.insert(out.begin(), soi, soi + 2);
    }
    return out;
}

bool IsJpeg(std::span<const uint8_t> d) {
    return d.size() >= 2 && ((d[0] == 0xFF && d[1] == 0xD8) || (d[0] == 0xFF && d[1] == 0xD9));
}

QImage LoadEncoded(std::span<const uint8_t> tables, std::span<const uint8_t> data) {
    QImage image;
    if (IsJpeg(data) || !tables.empty()) {
        std::vector<uint8_t> jpeg = CleanJpeg(tables, data);
        image.loadFromData(jpeg.data(), static_cast<int>(jpeg.size()), "JPEG");
    } else {
        image.loadFromData(data.data(), static_cast<int>(std::min<size_t>(data.size(), INT32_MAX)));
    }
    if (!image.isNull() && static_cast<int64_t>(image.width()) * image.height() > MaxBitmapPixels)
        return {};
    return image;
}

QImage DecodeLossless(const SwfTag& tag, bool alpha, std::string* error) {
    SwfBitReader r(tag.body);
    r.U16();
    uint8_t format = r.U8();
    int width = r.U16(), height = r.U16();
    if (r.Overrun() || width == 0 || height == 0) {
        if (error)
            *error = "the lossless bitmap header is cut short or empty";
        return {};
    }
    if (static_cast<int64_t>(width) * height > MaxBitmapPixels) {
        if (error)
            *error = "the lossless bitmap is too large";
        return {};
    }
    int tableSize = 0;
    if (format == 3)
        tableSize = r.U8() + 1;
    size_t rowBytes = 0, tableBytes = 0;
    if (format == 3) {
        rowBytes = (static_cast<size_t>(width) + 3) & ~size_t(3);
        tableBytes = static_cast<size_t>(tableSize) * (alpha ? 4 : 3);
    } else if (format == 4) {
        rowBytes = (static_cast<size_t>(width) * 2 + 3) & ~size_t(3);
    } else if (format == 5) {
        rowBytes = static_cast<size_t>(width) * 4;
    } else {
        if (error)
            *error = "unknown lossless bitmap format " + std::to_string(format);
        return {};
    }
    auto raw = InflateAll(r.Rest(), tableBytes + rowBytes * height);
    if (!raw) {
        if (error)
            *error = "the lossless bitmap's zlib data is damaged";
        return {};
    }
    const uint8_t* d = raw->data();
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    std::vector<QRgb> palette(static_cast<size_t>(tableSize));
    for (int i = 0; i < tableSize; ++i) {
        const uint8_t* p = d + static_cast<size_t>(i) * (alpha ? 4 : 3);
        palette[static_cast<size_t>(i)] =
            alpha ? qRgba(std::min(p[0], p[3]), std::min(p[1], p[3]), std::min(p[2], p[3]), p[3])
                  : qRgb(p[0], p[1], p[2]);
    }
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const uint8_t* row = d + tableBytes + rowBytes * static_cast<size_t>(y);
        for (int x = 0; x < width; ++x) {
            if (format == 3) {
                line[x] = palette[row[x]];
            } else if (format == 4) {
                uint16_t v = static_cast<uint16_t>((row[2 * x] << 8) | row[2 * x + 1]);
                int rr = (v >> 10) & 31, gg = (v >> 5) & 31, bb = v & 31;
                line[x] = qRgb(rr * 255 / 31, gg * 255 / 31, bb * 255 / 31);
            } else {
                const uint8_t* p = row + 4 * x;
                if (alpha)
                    line[x] = qRgba(std::min(p[1], p[0]), std::min(p[2], p[0]),
                                    std::min(p[3], p[0]), p[0]);
                else
                    line[x] = qRgb(p[1], p[2], p[3]);
            }
        }
    }
    return image;
}

QString DecodeText(const std::string& bytes) {
    QString utf8 = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!utf8.contains(QChar::ReplacementCharacter))
        return utf8;
    // Movies made for Chinese systems before Flash 6 carry GBK text.
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        std::string in = bytes;
        std::string out(in.size() * 3 + 4, '\0');
        char* inp = in.data();
        char* outp = out.data();
        size_t inLeft = in.size(), outLeft = out.size();
        size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        iconv_close(cd);
        if (rc != static_cast<size_t>(-1)) {
            out.resize(out.size() - outLeft);
            return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
        }
    }
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString HtmlToText(QString html) {
    static const QRegularExpression breaks(QStringLiteral("<\\s*(br|/p)\\s*/?\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    html.replace(breaks, QStringLiteral("\n"));
    html.remove(tags);
    html.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    html.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    html.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    html.replace(QStringLiteral("&apos;"), QStringLiteral("'"));
    html.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    html.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    while (html.endsWith(QLatin1Char('\n')))
        html.chop(1);
    return html;
}

QPainterPath GlyphPath(std::span<const uint8_t> data) {
    SwfBitReader r(data);
    std::vector<SwfEdge> edges;
    std::vector<std::pair<double, double>> moves;
    int groups = 0;
    ReadShapeRecords(r, ShapeFormat{}, nullptr, nullptr, edges, groups);
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    bool open = false;
    double lx = 0, ly = 0;
    for (const auto& e : edges) {
        if (!open || e.x0 != lx || e.y0 != ly) {
            if (open)
                path.closeSubpath();
            path.moveTo(e.x0, e.y0);
            open = true;
        }
        if (e.curve)
            path.quadTo(e.cx, e.cy, e.x1, e.y1);
        else
            path.lineTo(e.x1, e.y1);
        lx = e.x1;
        ly = e.y1;
    }
    if (open)
        path.closeSubpath();
    return path;
}

} // namespace

QTransform ReadMatrix(SwfBitReader& r) {
    r.Align();
    double sx = 1, sy = 1, r0 = 0, r1 = 0;
    if (r.Flag()) {
        int bits = static_cast<int>(r.UBits(5));
        sx = r.FBits(bits);
        sy = r.FBits(bits);
    }
    if (r.Flag()) {
        int bits = static_cast<int>(r.UBits(5));
        r0 = r.FBits(bits);
        r1 = r.FBits(bits);
    }
    int bits = static_cast<int>(r.UBits(5));
    double tx = r.SBits(bits);
    double ty = r.SBits(bits);
    r.Align();
    return QTransform(sx, r0, r1, sy, tx, ty);
}

QColor ReadRgb(SwfBitReader& r) {
    int red = r.U8(), green = r.U8(), blue = r.U8();
    return QColor(red, green, blue);
}

QColor ReadRgba(SwfBitReader& r) {
    int red = r.U8(), green = r.U8(), blue = r.U8(), alpha = r.U8();
    return QColor(red, green, blue, alpha);
}

SwfRect ReadRect(SwfBitReader& r) {
    r.Align();
    int bits = static_cast<int>(r.UBits(5));
    SwfRect rect;
    rect.xMin = r.SBits(bits);
    rect.xMax = r.SBits(bits);
    rect.yMin = r.SBits(bits);
    rect.yMax = r.SBits(bits);
    r.Align();
    return rect;
}

bool SwfColorTransform::IsIdentity() const {
    for (int i = 0; i < 4; ++i)
        if (mult[i] != 1 || add[i] != 0)
            return false;
    return true;
}

bool SwfColorTransform::OnlyAlpha() const {
    for (int i = 0; i < 3; ++i)
        if (mult[i] != 1 || add[i] != 0)
            return false;
    return add[3] == 0;
}

QColor SwfColorTransform::Apply(const QColor& c) const {
    if (IsIdentity())
        return c;
    int v[4] = {c.red(), c.green(), c.blue(), c.alpha()};
    int out[4];
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<int>(std::clamp(v[i] * mult[i] + add[i], 0.0, 255.0));
    return QColor(out[0], out[1], out[2], out[3]);
}

QRgb SwfColorTransform::ApplyPremultiplied(QRgb c) const {
    QColor plain = QColor::fromRgba(qUnpremultiply(c));
    return qPremultiply(Apply(plain).rgba());
}

SwfColorTransform SwfColorTransform::After(const SwfColorTransform& inner) const {
    SwfColorTransform out;
    for (int i = 0; i < 4; ++i) {
        out.mult[i] = inner.mult[i] * mult[i];
        out.add[i] = inner.add[i] * mult[i] + add[i];
    }
    return out;
}

bool SwfColorTransform::operator==(const SwfColorTransform& o) const {
    for (int i = 0; i < 4; ++i)
        if (mult[i] != o.mult[i] || add[i] != o.add[i])
            return false;
    return true;
}

SwfColorTransform ReadColorTransform(SwfBitReader& r, bool withAlpha) {
    r.Align();
    SwfColorTransform cx;
    bool hasAdd = r.Flag(), hasMult = r.Flag();
    int bits = static_cast<int>(r.UBits(4));
    int channels = withAlpha ? 4 : 3;
    if (hasMult)
        for (int i = 0; i < channels; ++i)
            cx.mult[i] = r.SBits(bits) / 256.0;
    if (hasAdd)
        for (int i = 0; i < channels; ++i)
            cx.add[i] = r.SBits(bits);
    r.Align();
    return cx;
}

std::vector<SwfShapeGroup> BuildShapeGroups(const std::vector<SwfEdge>& edges, int groupCount) {
    groupCount = std::max(groupCount, 1);
    std::vector<SwfShapeGroup> groups(static_cast<size_t>(groupCount));
    std::vector<std::map<int, std::vector<Segment>>> fillSegs(static_cast<size_t>(groupCount));
    std::vector<std::map<int, std::vector<Segment>>> lineSegs(static_cast<size_t>(groupCount));
    for (const auto& e : edges) {
        size_t g = static_cast<size_t>(std::clamp(e.group, 0, groupCount - 1));
        Segment forward{e.x0, e.y0, e.cx, e.cy, e.x1, e.y1, e.curve};
        if (e.fill1 >= 0)
            fillSegs[g][e.fill1].push_back(forward);
        if (e.fill0 >= 0 && e.fill0 != e.fill1)
            fillSegs[g][e.fill0].push_back({e.x1, e.y1, e.cx, e.cy, e.x0, e.y0, e.curve});
        if (e.line >= 0)
            lineSegs[g][e.line].push_back(forward);
    }
    for (size_t g = 0; g < groups.size(); ++g) {
        for (auto& [style, segs] : fillSegs[g])
            groups[g].fills.push_back({style, LinkContours(segs)});
        for (auto& [style, segs] : lineSegs[g]) {
            QPainterPath path;
            bool open = false;
            double lx = 0, ly = 0;
            for (const auto& s : segs) {
                if (!open || s.x0 != lx || s.y0 != ly)
                    path.moveTo(s.x0, s.y0);
                open = true;
                AppendSegment(path, s);
                lx = s.x1;
                ly = s.y1;
            }
            groups[g].lines.push_back({style, path});
        }
    }
    return groups;
}

std::shared_ptr<SwfShape> ParseShape(const SwfTag& tag) {
    ShapeFormat f;
    switch (tag.code) {
    case TagDefineShape2:
        f.version = 2;
        break;
    case TagDefineShape3:
        f.version = 3;
        break;
    case TagDefineShape4:
        f.version = 4;
        break;
    default:
        f.version = 1;
        break;
    }
    SwfBitReader r(tag.body);
    r.U16();
    auto shape = std::make_shared<SwfShape>();
    shape->bounds = ReadRect(r);
    if (f.version == 4) {
        ReadRect(r); // edge bounds
        r.U8();      // scaling-stroke flags
    }
    ReadFillStyles(r, f, shape->fills, nullptr);
    ReadLineStyles(r, f, shape->lines, nullptr);
    std::vector<SwfEdge> edges;
    int groups = 1;
    ReadShapeRecords(r, f, &shape->fills, &shape->lines, edges, groups);
    shape->groups = BuildShapeGroups(edges, groups);
    for (const auto& g : shape->groups)
        for (const auto& [style, path] : g.fills)
            shape->outline.addPath(path);
    shape->outline.setFillRule(Qt::WindingFill);
    return shape;
}

std::shared_ptr<SwfMorphShape> ParseMorphShape(const SwfTag& tag) {
    ShapeFormat f;
    f.morph = true;
    f.version = tag.code == TagDefineMorphShape2 ? 2 : 1;
    SwfBitReader r(tag.body);
    r.U16();
    auto morph = std::make_shared<SwfMorphShape>();
    morph->startBounds = ReadRect(r);
    morph->endBounds = ReadRect(r);
    if (f.version == 2) {
        ReadRect(r);
        ReadRect(r);
        r.U8();
    }
    uint32_t offset = r.U32();
    size_t endEdgesAt = r.Position() + offset;
    ReadFillStyles(r, f, morph->startFills, &morph->endFills);
    ReadLineStyles(r, f, morph->startLines, &morph->endLines);
    int groups = 1;
    std::vector<SwfFillStyle> noFills;
    std::vector<SwfLineStyle> noLines;
    ShapeFormat plain;
    plain.version = 3;
    ReadShapeRecords(r, plain, nullptr, nullptr, morph->startEdges, groups);
    if (endEdgesAt < tag.body.size()) {
        SwfBitReader er(tag.body);
        er.Seek(endEdgesAt);
        ReadShapeRecords(er, plain, nullptr, nullptr, morph->endEdges, groups);
    }
    // Style indexes were read raw (1-based within the only style table).
    for (auto& e : morph->startEdges) {
        auto fix = [](int v, size_t n) { return (v >= 0 && static_cast<size_t>(v) < n) ? v : -1; };
        e.fill0 = fix(e.fill0, morph->startFills.size());
        e.fill1 = fix(e.fill1, morph->startFills.size());
        e.line = fix(e.line, morph->startLines.size());
        e.group = 0;
    }
    size_t n = std::min(morph->startEdges.size(), morph->endEdges.size());
    morph->startEdges.resize(n);
    morph->endEdges.resize(n);
    for (size_t i = 0; i < n; ++i) {
        SwfEdge& a = morph->startEdges[i];
        SwfEdge& b = morph->endEdges[i];
        for (SwfEdge* e : {&a, &b}) {
            if (!e->curve) {
                e->cx = (e->x0 + e->x1) / 2;
                e->cy = (e->y0 + e->y1) / 2;
            }
        }
        if (a.curve != b.curve)
            a.curve = b.curve = true;
    }
    return morph;
}

std::shared_ptr<const SwfShape> SwfMorphShape::At(uint16_t ratio) {
    if (cached_ && cachedRatio_ == ratio)
        return cached_;
    double t = ratio / 65535.0;
    auto shape = std::make_shared<SwfShape>();
    auto mix = [t](double a, double b) { return a + (b - a) * t; };
    shape->bounds.xMin = static_cast<int32_t>(mix(startBounds.xMin, endBounds.xMin));
    shape->bounds.xMax = static_cast<int32_t>(mix(startBounds.xMax, endBounds.xMax));
    shape->bounds.yMin = static_cast<int32_t>(mix(startBounds.yMin, endBounds.yMin));
    shape->bounds.yMax = static_cast<int32_t>(mix(startBounds.yMax, endBounds.yMax));
    for (size_t i = 0; i < startFills.size() && i < endFills.size(); ++i) {
        SwfFillStyle s = startFills[i];
        const SwfFillStyle& e = endFills[i];
        s.color = Blend(s.color, e.color, t);
        s.matrix = BlendMatrix(s.matrix, e.matrix, t);
        for (qsizetype k = 0; k < s.stops.size() && k < e.stops.size(); ++k)
            s.stops[k] = {mix(s.stops[k].first, e.stops[k].first),
                          Blend(s.stops[k].second, e.stops[k].second, t)};
        std::stable_sort(s.stops.begin(), s.stops.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        s.focal = mix(s.focal, e.focal);
        shape->fills.push_back(s);
    }
    for (size_t i = 0; i < startLines.size() && i < endLines.size(); ++i) {
        SwfLineStyle s = startLines[i];
        s.width = mix(s.width, endLines[i].width);
        s.color = Blend(s.color, endLines[i].color, t);
        shape->lines.push_back(s);
    }
    std::vector<SwfEdge> edges(startEdges.size());
    for (size_t i = 0; i < edges.size(); ++i) {
        const SwfEdge& a = startEdges[i];
        const SwfEdge& b = endEdges[i];
        SwfEdge& e = edges[i];
        e = a;
        e.x0 = mix(a.x0, b.x0);
        e.y0 = mix(a.y0, b.y0);
        e.cx = mix(a.cx, b.cx);
        e.cy = mix(a.cy, b.cy);
        e.x1 = mix(a.x1, b.x1);
        e.y1 = mix(a.y1, b.y1);
    }
    shape->groups = BuildShapeGroups(edges, 1);
    for (const auto& g : shape->groups)
        for (const auto& [style, path] : g.fills)
            shape->outline.addPath(path);
    cached_ = shape;
    cachedRatio_ = ratio;
    return shape;
}

bool SwfFont::HasGlyphShapes() const {
    for (const auto& g : glyphs)
        if (!g.isEmpty())
            return true;
    return false;
}

std::shared_ptr<SwfFont> ParseFont(const SwfTag& tag) {
    auto font = std::make_shared<SwfFont>();
    SwfBitReader r(tag.body);
    r.U16();
    constexpr size_t MaxGlyphs = 65536;
    if (tag.code == TagDefineFont) {
        size_t base = r.Position();
        uint16_t first = r.U16();
        size_t count = std::min<size_t>(first / 2, MaxGlyphs);
        std::vector<uint32_t> offsets{first};
        for (size_t i = 1; i < count; ++i)
            offsets.push_back(r.U16());
        for (size_t i = 0; i < count; ++i) {
            size_t from = base + offsets[i];
            size_t to = i + 1 < count ? base + offsets[i + 1] : tag.body.size();
            if (from < to && to <= tag.body.size())
                font->glyphs.push_back(GlyphPath(tag.body.subspan(from, to - from)));
            else
                font->glyphs.emplace_back();
        }
        return font;
    }
    // DefineFont2 and DefineFont3.
    if (tag.code == TagDefineFont3)
        font->emSquare = 20480;
    uint8_t flags = r.U8();
    bool hasLayout = flags & 0x80, wideOffsets = flags & 0x08, wideCodes = flags & 0x04;
    font->italic = flags & 0x02;
    font->bold = flags & 0x01;
    r.U8(); // language
    uint8_t nameLength = r.U8();
    std::string name;
    for (int i = 0; i < nameLength; ++i)
        name.push_back(static_cast<char>(r.U8()));
    while (!name.empty() && name.back() == '\0')
        name.pop_back();
    font->name = DecodeText(name);
    size_t count = std::min<size_t>(r.U16(), MaxGlyphs);
    size_t base = r.Position();
    std::vector<uint32_t> offsets;
    for (size_t i = 0; i < count && !r.Overrun(); ++i)
        offsets.push_back(wideOffsets ? r.U32() : r.U16());
    uint32_t codeOffset =
        count ? (wideOffsets ? r.U32() : r.U16()) : static_cast<uint32_t>(r.Position() - base);
    if (r.Overrun())
        return font;
    for (size_t i = 0; i < offsets.size(); ++i) {
        size_t from = base + offsets[i];
        size_t to = base + (i + 1 < offsets.size() ? offsets[i + 1] : codeOffset);
        if (from < to && to <= tag.body.size())
            font->glyphs.push_back(GlyphPath(tag.body.subspan(from, to - from)));
        else
            font->glyphs.emplace_back();
    }
    r.Seek(base + codeOffset);
    for (size_t i = 0; i < count && !r.Overrun(); ++i)
        font->codes.push_back(wideCodes ? r.U16() : r.U8());
    if (hasLayout && !r.Overrun()) {
        font->ascent = r.U16();
        r.U16(); // descent
        r.S16(); // leading
        for (size_t i = 0; i < count && !r.Overrun(); ++i)
            font->advances.push_back(r.S16());
    }
    return font;
}

void ApplyFontInfo(SwfFont& font, const SwfTag& tag) {
    SwfBitReader r(tag.body);
    r.U16();
    uint8_t nameLength = r.U8();
    std::string name;
    for (int i = 0; i < nameLength; ++i)
        name.push_back(static_cast<char>(r.U8()));
    while (!name.empty() && name.back() == '\0')
        name.pop_back();
    font.name = DecodeText(name);
    uint8_t flags = r.U8();
    font.italic = flags & 0x04;
    font.bold = flags & 0x02;
    bool wide = flags & 0x01;
    if (tag.code == TagDefineFontInfo2)
        r.U8(); // language
    font.codes.clear();
    while (!r.AtEnd() && font.codes.size() < std::max<size_t>(font.glyphs.size(), 1))
        font.codes.push_back(wide ? r.U16() : r.U8());
}

std::shared_ptr<SwfText> ParseText(const SwfTag& tag) {
    auto text = std::make_shared<SwfText>();
    bool rgba = tag.code == TagDefineText2;
    SwfBitReader r(tag.body);
    r.U16();
    text->bounds = ReadRect(r);
    text->matrix = ReadMatrix(r);
    int glyphBits = r.U8(), advanceBits = r.U8();
    if (glyphBits > 32 || advanceBits > 32)
        return text;
    SwfTextRun style;
    double x = 0;
    while (!r.Overrun()) {
        uint8_t flags = r.U8();
        if (flags == 0 || r.Overrun())
            break;
        SwfTextRun run = style;
        run.glyphs.clear();
        if (flags & 0x08)
            run.fontId = r.U16();
        if (flags & 0x04)
            run.color = rgba ? ReadRgba(r) : ReadRgb(r);
        if (flags & 0x01)
            x = run.x = r.S16();
        if (flags & 0x02)
            run.y = r.S16();
        if (flags & 0x08)
            run.height = r.U16();
        run.x = x;
        int count = r.U8();
        for (int i = 0; i < count && !r.Overrun(); ++i) {
            SwfTextGlyph g;
            g.index = r.UBits(glyphBits);
            g.x = x;
            x += r.SBits(advanceBits);
            run.glyphs.push_back(g);
        }
        r.Align();
        style = run;
        text->runs.push_back(std::move(run));
    }
    return text;
}

std::shared_ptr<SwfEditText> ParseEditText(const SwfTag& tag, uint8_t version) {
    (void)version;
    auto edit = std::make_shared<SwfEditText>();
    SwfBitReader r(tag.body);
    r.U16();
    edit->bounds = ReadRect(r);
    uint8_t f1 = r.U8(), f2 = r.U8();
    bool hasText = f1 & 0x80, hasColor = f1 & 0x04, hasMaxLength = f1 & 0x02, hasFont = f1 & 0x01;
    edit->wordWrap = f1 & 0x40;
    edit->multiline = f1 & 0x20;
    edit->password = f1 & 0x10;
    bool hasFontClass = f2 & 0x80, hasLayout = f2 & 0x20;
    edit->border = f2 & 0x08;
    edit->html = f2 & 0x02;
    edit->useOutlines = f2 & 0x01;
    if (hasFont) {
        edit->fontId = r.U16();
        edit->hasFont = true;
    }
    if (hasFontClass)
        r.String();
    if (hasFont || hasFontClass)
        edit->height = r.U16();
    if (hasColor)
        edit->color = ReadRgba(r);
    if (hasMaxLength)
        r.U16();
    if (hasLayout) {
        edit->align = r.U8();
        edit->leftMargin = r.U16();
        edit->rightMargin = r.U16();
        edit->indent = r.U16();
        edit->leading = r.S16();
    }
    r.String(); // variable name
    if (hasText) {
        QString text = DecodeText(r.String());
        edit->text = edit->html ? HtmlToText(text) : text;
        if (edit->password)
            edit->text.fill(QLatin1Char('*'));
    }
    return edit;
}

std::optional<SwfVideoStream> ParseVideoStream(const SwfTag& tag) {
    SwfBitReader r(tag.body);
    r.U16();
    SwfVideoStream v;
    v.frames = r.U16();
    v.width = r.U16();
    v.height = r.U16();
    uint8_t flags = r.U8();
    v.smoothing = flags & 1;
    v.codec = r.U8();
    if (r.Overrun())
        return std::nullopt;
    return v;
}

QImage DecodeBitmap(const SwfTag& tag, std::span<const uint8_t> jpegTables, std::string* error) {
    if (tag.body.size() < 2)
        return {};
    std::span<const uint8_t> rest = tag.body.subspan(2);
    QImage image;
    switch (tag.code) {
    case TagDefineBits:
        image = LoadEncoded(jpegTables, rest);
        break;
    case TagDefineBitsJPEG2:
        image = LoadEncoded({}, rest);
        break;
    case TagDefineBitsJPEG3:
    case TagDefineBitsJPEG4: {
        SwfBitReader r(rest);
        uint32_t alphaOffset = r.U32();
        if (tag.code == TagDefineBitsJPEG4)
            r.U16();
        std::span<const uint8_t> data = r.Rest();
        if (r.Overrun() || alphaOffset > data.size()) {
            if (error)
                *error = "the JPEG data length runs past the tag";
            return {};
        }
        image = LoadEncoded({}, data.subspan(0, alphaOffset));
        if (image.isNull())
            break;
        image = image.convertToFormat(QImage::Format_ARGB32);
        std::span<const uint8_t> alphaData = data.subspan(alphaOffset);
        if (!alphaData.empty() && IsJpeg(data)) {
            size_t pixels = static_cast<size_t>(image.width()) * image.height();
            if (auto alpha = InflateAll(alphaData, pixels)) {
                for (int y = 0; y < image.height(); ++y) {
                    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                    const uint8_t* a = alpha->data() + static_cast<size_t>(y) * image.width();
                    for (int x = 0; x < image.width(); ++x)
                        line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), a[x]);
                }
            }
        }
        break;
    }
    case TagDefineBitsLossless:
        return DecodeLossless(tag, false, error);
    case TagDefineBitsLossless2:
        return DecodeLossless(tag, true, error);
    default:
        return {};
    }
    if (image.isNull()) {
        if (error && error->empty())
            *error = "the " + TagName(tag.code) + " image data cannot be decoded";
        return {};
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace omm::swf
