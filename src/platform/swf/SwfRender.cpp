// Drawing the display list with QPainter.

#include "platform/swf/SwfStage.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <atomic>

#include <cmath>
#include <memory>

namespace omm::swf {

namespace {

constexpr int MaxDrawNesting = 40;
constexpr size_t BitmapCacheLimit = 192u << 20;

// Qt fonts need a GUI application (the offscreen platform will do); a plain core
// application (the command line) draws only the texts the movie has outlines for.
bool CanUseSystemFonts() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

uint16_t IdOf(const SwfTag& tag) {
    return static_cast<uint16_t>(tag.body[0] | (tag.body[1] << 8));
}

double ScaleOf(const QTransform& m) {
    return std::sqrt(std::abs(m.determinant()));
}

// A character parsed once, on first use, and kept by the offset of its tag.
template <class T, class Parse>
std::shared_ptr<T> Cached(std::unordered_map<uint32_t, std::shared_ptr<T>>& cache,
                          const SwfTag& tag, Parse&& parse) {
    auto& slot = cache[tag.offset];
    if (!slot)
        slot = parse(tag);
    return slot;
}

} // namespace

std::shared_ptr<SwfShape> SwfStage::Shape(const SwfTag& tag) {
    return Cached(shapes_, tag, [](const SwfTag& t) { return ParseShape(t); });
}

std::shared_ptr<SwfMorphShape> SwfStage::Morph(const SwfTag& tag) {
    return Cached(morphs_, tag, [](const SwfTag& t) { return ParseMorphShape(t); });
}

std::shared_ptr<SwfText> SwfStage::Text(const SwfTag& tag) {
    return Cached(texts_, tag, [](const SwfTag& t) { return ParseText(t); });
}

std::shared_ptr<SwfEditText> SwfStage::EditText(const SwfTag& tag) {
    return Cached(edits_, tag,
                  [this](const SwfTag& t) { return ParseEditText(t, movie_->Header().version); });
}

QImage SwfStage::Bitmap(uint16_t id) {
    auto def = defs_.find(id);
    if (def == defs_.end())
        return {};
    const SwfTag& tag = *def->second;
    auto it = bitmaps_.find(tag.offset);
    if (it == bitmaps_.end()) {
        QImage image = DecodeBitmap(tag, movie_->JpegTables());
        size_t bytes = static_cast<size_t>(image.sizeInBytes());
        // Keep the decoded bitmaps within bounds: the least recently used go first.
        while (bitmapBytes_ + bytes > BitmapCacheLimit && !bitmaps_.empty()) {
            auto oldest = bitmaps_.begin();
            for (auto b = bitmaps_.begin(); b != bitmaps_.end(); ++b)
                if (b->second.lastUse < oldest->second.lastUse)
                    oldest = b;
            bitmapBytes_ -= static_cast<size_t>(oldest->second.image.sizeInBytes());
            bitmaps_.erase(oldest);
        }
        bitmapBytes_ += bytes;
        it = bitmaps_.emplace(tag.offset, CachedBitmap{std::move(image), 0}).first;
    }
    it->second.lastUse = ++useClock_;
    return it->second.image;
}

QImage SwfStage::TransformedBitmap(uint16_t id, const SwfColorTransform& cx) {
    QImage image = Bitmap(id);
    if (image.isNull() || cx.IsIdentity())
        return image;
    auto def = defs_.find(id);
    uint32_t offset = def->second->offset;
    auto& tinted = tinted_[id];
    if (tinted.offset == offset && tinted.cx == cx && !tinted.image.isNull())
        return tinted.image;
    QImage out = image.copy();
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = cx.ApplyPremultiplied(line[x]);
    }
    tinted = {offset, cx, out};
    return out;
}

std::shared_ptr<SwfFont> SwfStage::Font(uint16_t id) {
    auto def = defs_.find(id);
    if (def == defs_.end())
        return nullptr;
    const SwfTag& tag = *def->second;
    if (tag.code != TagDefineFont && tag.code != TagDefineFont2 && tag.code != TagDefineFont3)
        return nullptr;
    auto& slot = fonts_[tag.offset];
    if (!slot) {
        slot = ParseFont(tag);
        auto info = fontInfo_.find(id);
        if (info != fontInfo_.end())
            ApplyFontInfo(*slot, *info->second);
    }
    return slot;
}

SwfVideoDecoder* SwfStage::Video(const SwfTag& def) {
    auto& slot = videos_[def.offset];
    if (!slot) {
        auto stream = ParseVideoStream(def);
        if (!stream)
            return nullptr;
        auto frames = videoFrames_.find(IdOf(def));
        slot = std::make_unique<SwfVideoDecoder>(*stream, frames == videoFrames_.end()
                                                              ? std::map<uint16_t, const SwfTag*>{}
                                                              : frames->second);
    }
    return slot.get();
}

namespace {
std::atomic<bool> drawInPool{true};
}

void SwfStage::SetDrawInPool(bool on) {
    drawInPool.store(on, std::memory_order_relaxed);
}

void SwfStage::Render(QPainter& painter, const QTransform& toDevice, bool highQuality) {
    // Qt's raster engine hands every gradient or bitmap fill of more than a few dozen
    // spans to the global thread pool and waits for it: hundreds of thread hand-overs a
    // frame, which on one core cost more than the fills. From a thread of that pool it
    // fills in place, so a picture in memory is drawn there in one hand-over. (Widgets
    // must be painted on the GUI thread.)
    QThreadPool* pool = QThreadPool::globalInstance();
    QPaintDevice* device = painter.device();
    if (drawInPool.load(std::memory_order_relaxed) && pool && device &&
        device->devType() == QInternal::Image && !pool->contains(QThread::currentThread())) {
        // A reserved thread normally starts at once; when every thread of the pool is
        // busy with other work the frame is taken back and drawn here after a moment.
        QSemaphore done;
        std::unique_ptr<QRunnable> draw(QRunnable::create([&] {
            RenderHere(painter, toDevice, highQuality);
            done.release();
        }));
        draw->setAutoDelete(false);
        pool->reserveThread();
        pool->startOnReservedThread(draw.get());
        if (done.tryAcquire(1, 20))
            return;
        if (!pool->tryTake(draw.get())) {
            done.acquire(); // started meanwhile
            return;
        }
    }
    RenderHere(painter, toDevice, highQuality);
}

void SwfStage::RenderHere(QPainter& painter, const QTransform& toDevice, bool highQuality) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, highQuality);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, highQuality);
    painter.setRenderHint(QPainter::TextAntialiasing, highQuality);
    DrawList(painter, *root_, toDevice, SwfColorTransform{}, 0);
    painter.restore();
}

void SwfStage::DrawList(QPainter& p, const Instance& inst, const QTransform& m,
                        const SwfColorTransform& cx, int nesting) {
    if (nesting > MaxDrawNesting)
        return;
    struct Clip {
        uint16_t until;
        QPainterPath path; // device coordinates
    };
    std::vector<Clip> clips;
    for (const auto& [key, obj] : inst.list) {
        const uint16_t depth = key;
        std::erase_if(clips, [depth](const Clip& c) { return c.until < depth; });
        if (obj.clipDepth > 0) {
            clips.push_back({obj.clipDepth, ClipPath(obj, obj.matrix * m, nesting)});
            continue;
        }
        if (clips.empty()) {
            DrawObject(p, obj, m, cx, nesting);
            continue;
        }
        p.save();
        p.resetTransform();
        for (const auto& c : clips)
            p.setClipPath(c.path, Qt::IntersectClip);
        DrawObject(p, obj, m, cx, nesting);
        p.restore();
    }
}

QPainterPath SwfStage::ClipPath(const DisplayObject& obj, const QTransform& m, int nesting) {
    QPainterPath out;
    if (!obj.def || nesting > MaxDrawNesting)
        return out;
    switch (obj.def->code) {
    case TagDefineShape:
    case TagDefineShape2:
    case TagDefineShape3:
    case TagDefineShape4:
        out = m.map(Shape(*obj.def)->outline);
        break;
    case TagDefineMorphShape:
    case TagDefineMorphShape2:
        out = m.map(Morph(*obj.def)->At(obj.ratio)->outline);
        break;
    case TagDefineSprite:
        if (obj.sprite)
            for (const auto& [depth, child] : obj.sprite->list)
                if (child.clipDepth == 0)
                    out.addPath(ClipPath(child, child.matrix * m, nesting + 1));
        break;
    default: {
        SwfRect bounds;
        if (obj.def->code == TagDefineText || obj.def->code == TagDefineText2) {
            auto text = Text(*obj.def);
            bounds = text->bounds;
            out.addPolygon((text->matrix * m)
                               .map(QPolygonF(QRectF(bounds.xMin, bounds.yMin, bounds.Width(),
                                                     bounds.Height()))));
        } else if (obj.def->code == TagDefineEditText) {
            bounds = EditText(*obj.def)->bounds;
            out.addPolygon(m.map(
                QPolygonF(QRectF(bounds.xMin, bounds.yMin, bounds.Width(), bounds.Height()))));
        }
        break;
    }
    }
    out.setFillRule(Qt::WindingFill);
    return out;
}

void SwfStage::DrawObject(QPainter& p, const DisplayObject& obj, const QTransform& parent,
                          const SwfColorTransform& parentCx, int nesting) {
    if (!obj.def)
        return;
    QTransform m = obj.matrix * parent;
    SwfColorTransform cx = parentCx.After(obj.cx);
    if (cx.mult[3] <= 0 && cx.add[3] <= 0)
        return; // fully transparent
    switch (obj.def->code) {
    case TagDefineShape:
    case TagDefineShape2:
    case TagDefineShape3:
    case TagDefineShape4:
        DrawShape(p, *Shape(*obj.def), m, cx);
        break;
    case TagDefineMorphShape:
    case TagDefineMorphShape2:
        DrawShape(p, *Morph(*obj.def)->At(obj.ratio), m, cx);
        break;
    case TagDefineSprite:
        if (obj.sprite)
            DrawList(p, *obj.sprite, m, cx, nesting + 1);
        break;
    case TagDefineText:
    case TagDefineText2:
        DrawText(p, *Text(*obj.def), m, cx);
        break;
    case TagDefineEditText:
        DrawEditText(p, *EditText(*obj.def), m, cx);
        break;
    case TagDefineVideoStream:
        DrawVideo(p, obj, m, cx);
        break;
    default:
        break; // buttons, sounds and the like draw nothing here
    }
}

QBrush SwfStage::GradientBrush(const SwfFillStyle& fill, const SwfColorTransform& cx) {
    constexpr double Half = 16384.0; // gradients are defined on a 32768-twip square
    QGradient gradient;
    if (fill.kind == SwfFillStyle::Linear)
        gradient = QLinearGradient(-Half, 0, Half, 0);
    else
        gradient = QRadialGradient(QPointF(0, 0), Half, QPointF(fill.focal * Half, 0));
    QGradientStops stops;
    for (const auto& [pos, color] : fill.stops)
        stops.push_back({std::clamp(pos, 0.0, 1.0), cx.Apply(color)});
    gradient.setStops(stops);
    gradient.setSpread(fill.spread);
    QBrush brush(gradient);
    brush.setTransform(fill.matrix);
    return brush;
}

void SwfStage::DrawFill(QPainter& p, const SwfFillStyle& fill, const QPainterPath& path,
                        const QTransform& m, const SwfColorTransform& cx) {
    switch (fill.kind) {
    case SwfFillStyle::Solid: {
        QColor c = cx.Apply(fill.color);
        if (c.alpha() > 0)
            p.fillPath(path, c);
        return;
    }
    case SwfFillStyle::Linear:
    case SwfFillStyle::Radial:
    case SwfFillStyle::Focal:
        p.fillPath(path, GradientBrush(fill, cx));
        return;
    case SwfFillStyle::Bitmap:
        break;
    }
    bool alphaOnly = !cx.IsIdentity() && cx.OnlyAlpha();
    QImage image = alphaOnly ? Bitmap(fill.bitmapId) : TransformedBitmap(fill.bitmapId, cx);
    if (image.isNull())
        return;
    double opacity = alphaOnly ? std::clamp(cx.mult[3], 0.0, 1.0) : 1.0;
    bool smoothHint = p.testRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::SmoothPixmapTransform, smoothHint && fill.smooth);
    double oldOpacity = p.opacity();
    p.setOpacity(oldOpacity * opacity);
    QRectF imageRect = fill.matrix.mapRect(QRectF(0, 0, image.width(), image.height()));
    QRectF pathRect = path.boundingRect();
    bool axisAligned = fill.matrix.m12() == 0 && fill.matrix.m21() == 0;
    bool coversImage = std::abs(pathRect.left() - imageRect.left()) <= 1 &&
                       std::abs(pathRect.top() - imageRect.top()) <= 1 &&
                       std::abs(pathRect.right() - imageRect.right()) <= 1 &&
                       std::abs(pathRect.bottom() - imageRect.bottom()) <= 1;
    if (axisAligned && coversImage && path.elementCount() <= 6) {
        // The usual picture: a rectangle exactly the size of its bitmap.
        p.setTransform(fill.matrix * m);
        p.drawImage(QPointF(0, 0), image);
        p.setTransform(m);
    } else if (fill.repeat || imageRect.adjusted(-20, -20, 20, 20).contains(pathRect)) {
        QBrush brush(image);
        brush.setTransform(fill.matrix);
        p.fillPath(path, brush);
    } else {
        // A clipped bitmap shows nothing outside its picture.
        p.save();
        p.setClipPath(path, Qt::IntersectClip);
        p.setTransform(fill.matrix * m);
        p.drawImage(QPointF(0, 0), image);
        p.restore();
    }
    p.setOpacity(oldOpacity);
    p.setRenderHint(QPainter::SmoothPixmapTransform, smoothHint);
}

void SwfStage::DrawShape(QPainter& p, const SwfShape& shape, const QTransform& m,
                         const SwfColorTransform& cx) {
    p.setTransform(m);
    double scale = ScaleOf(m);
    for (const auto& group : shape.groups) {
        for (const auto& [style, path] : group.fills)
            if (style >= 0 && static_cast<size_t>(style) < shape.fills.size())
                DrawFill(p, shape.fills[static_cast<size_t>(style)], path, m, cx);
        if (group.strokes.size() != group.lines.size())
            group.strokes.assign(group.lines.size(), QPainterPath());
        for (size_t li = 0; li < group.lines.size(); ++li) {
            const auto& [style, path] = group.lines[li];
            if (style < 0 || static_cast<size_t>(style) >= shape.lines.size())
                continue;
            const SwfLineStyle& line = shape.lines[static_cast<size_t>(style)];
            QPen pen;
            if (line.hasFill && line.fill.kind != SwfFillStyle::Solid &&
                line.fill.kind != SwfFillStyle::Bitmap)
                pen.setBrush(GradientBrush(line.fill, cx));
            else
                pen.setColor(cx.Apply(line.color));
            if (pen.brush().style() == Qt::SolidPattern && pen.color().alpha() == 0)
                continue;
            // Flash never draws a line thinner than one pixel.
            if (line.width * scale < 1.0) {
                pen.setCosmetic(true);
                pen.setWidthF(1.0);
                p.strokePath(path, pen);
                continue;
            }
            QPainterPath& outline = group.strokes[li];
            if (outline.isEmpty() && !path.isEmpty()) {
                QPainterPathStroker stroker;
                stroker.setWidth(line.width);
                stroker.setCapStyle(line.cap);
                stroker.setJoinStyle(line.join);
                stroker.setMiterLimit(line.miter);
                stroker.setCurveThreshold(1.0); // twips
                outline = stroker.createStroke(path);
                outline.setFillRule(Qt::WindingFill);
            }
            p.fillPath(outline, pen.brush());
        }
    }
}

void SwfStage::DrawText(QPainter& p, const SwfText& text, const QTransform& m,
                        const SwfColorTransform& cx) {
    QTransform base = text.matrix * m;
    if (text.runOutlines.size() != text.runs.size())
        text.runOutlines.assign(text.runs.size(), {nullptr, QPainterPath()});
    for (size_t ri = 0; ri < text.runs.size(); ++ri) {
        const SwfTextRun& run = text.runs[ri];
        auto font = Font(run.fontId);
        QColor color = cx.Apply(run.color);
        if (color.alpha() == 0 || !font)
            continue;
        if (font->HasGlyphShapes()) {
            auto& [madeWith, outline] = text.runOutlines[ri];
            if (madeWith != font.get()) {
                double s = run.height / font->emSquare;
                outline = QPainterPath();
                outline.setFillRule(Qt::WindingFill);
                for (const auto& g : run.glyphs)
                    if (g.index < font->glyphs.size())
                        outline.addPath(
                            QTransform(s, 0, 0, s, g.x, run.y).map(font->glyphs[g.index]));
                madeWith = font.get();
            }
            p.setTransform(base);
            p.fillPath(outline, color);
            continue;
        }
        // A device font: the movie names it but carries no outlines.
        if (!CanUseSystemFonts())
            continue;
        QFont qfont(font->name.isEmpty() ? QStringLiteral("Sans Serif") : font->name);
        qfont.setPixelSize(std::max(1, static_cast<int>(std::lround(run.height / 20.0))));
        qfont.setBold(font->bold);
        qfont.setItalic(font->italic);
        p.setFont(qfont);
        p.setPen(color);
        p.setTransform(QTransform::fromScale(20, 20) * base);
        for (const auto& g : run.glyphs) {
            if (g.index >= font->codes.size())
                continue;
            p.drawText(QPointF(g.x / 20.0, run.y / 20.0), QString(QChar(font->codes[g.index])));
        }
    }
}

void SwfStage::DrawEditText(QPainter& p, const SwfEditText& edit, const QTransform& m,
                            const SwfColorTransform& cx) {
    QRectF box(edit.bounds.xMin / 20.0, edit.bounds.yMin / 20.0, edit.bounds.Width() / 20.0,
               edit.bounds.Height() / 20.0);
    p.setTransform(QTransform::fromScale(20, 20) * m);
    if (edit.border) {
        p.fillRect(box, cx.Apply(Qt::white));
        p.setPen(QPen(cx.Apply(Qt::black), 0));
        p.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5)); // on the outermost pixels
    }
    if (edit.text.isEmpty())
        return;
    QColor color = cx.Apply(edit.color);
    std::shared_ptr<SwfFont> font = edit.hasFont ? Font(edit.fontId) : nullptr;
    // Flash keeps a two-pixel gutter inside the field.
    QRectF inner = box.adjusted(2 + edit.leftMargin / 20.0, 2, -2 - edit.rightMargin / 20.0, -2);
    if (font && edit.useOutlines && font->HasGlyphShapes() && !font->codes.empty()) {
        // Lay the text out with the movie's own glyphs, line by line.
        std::unordered_map<uint16_t, size_t> indexOf;
        for (size_t i = 0; i < font->codes.size(); ++i)
            indexOf.emplace(font->codes[i], i);
        double s = edit.height / font->emSquare;
        double ascent = font->ascent > 0 ? font->ascent * s : edit.height * 0.8;
        double y = inner.top() * 20 + ascent;
        for (const QString& line : edit.text.split(QLatin1Char('\n'))) {
            std::vector<std::pair<size_t, double>> placed;
            double x = 0;
            for (QChar ch : line) {
                auto it = indexOf.find(ch.unicode());
                double advance = edit.height * 0.5;
                if (it != indexOf.end()) {
                    if (it->second < font->advances.size())
                        advance = font->advances[it->second] * s;
                    placed.push_back({it->second, x});
                }
                x += advance;
            }
            double left = inner.left() * 20;
            if (edit.align == 1)
                left = inner.right() * 20 - x;
            else if (edit.align == 2)
                left = inner.center().x() * 20 - x / 2;
            for (const auto& [index, gx] : placed) {
                if (index >= font->glyphs.size())
                    continue;
                p.setTransform(QTransform(s, 0, 0, s, left + gx, y) * m);
                p.fillPath(font->glyphs[index], color);
            }
            y += edit.height + edit.leading;
        }
        return;
    }
    if (!CanUseSystemFonts())
        return;
    QFont qfont(font && !font->name.isEmpty() ? font->name : QStringLiteral("Sans Serif"));
    qfont.setPixelSize(std::max(1, static_cast<int>(std::lround(edit.height / 20.0))));
    if (font) {
        qfont.setBold(font->bold);
        qfont.setItalic(font->italic);
    }
    p.setFont(qfont);
    p.setPen(color);
    int flags = Qt::AlignTop;
    flags |= edit.align == 1 ? Qt::AlignRight : edit.align == 2 ? Qt::AlignHCenter : Qt::AlignLeft;
    if (edit.wordWrap)
        flags |= Qt::TextWordWrap;
    p.save();
    p.setClipRect(box, Qt::IntersectClip);
    p.drawText(inner, flags, edit.text);
    p.restore();
}

void SwfStage::DrawVideo(QPainter& p, const DisplayObject& obj, const QTransform& m,
                         const SwfColorTransform& cx) {
    SwfVideoDecoder* video = Video(*obj.def);
    if (!video)
        return;
    uint16_t frame = obj.ratio;
    if (!obj.hasRatio) {
        auto last = lastVideoFrame_.find(obj.id);
        frame = last == lastVideoFrame_.end() ? 0 : last->second;
    }
    QImage image = video->Frame(frame);
    if (image.isNull())
        return;
    const SwfVideoStream& s = video->Stream();
    double w = s.width ? s.width : image.width();
    double h = s.height ? s.height : image.height();
    p.setTransform(m);
    double oldOpacity = p.opacity();
    if (!cx.IsIdentity())
        p.setOpacity(oldOpacity * std::clamp(cx.mult[3] + cx.add[3] / 255.0, 0.0, 1.0));
    p.drawImage(QRectF(0, 0, w * 20, h * 20), image);
    p.setOpacity(oldOpacity);
}

} // namespace omm::swf
