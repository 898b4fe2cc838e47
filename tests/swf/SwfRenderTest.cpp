// Drawing: pixels at known points of movies written for the purpose.

#include "platform/swf/SwfCharacters.h"
#include "swf/SwfTestSupport.h"

#include <QBuffer>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

using namespace omm::swf;
using namespace omm::swftest;

namespace {

QImage Draw(const SwfTestWriter& w) {
    SwfPlayer player;
    Open(player, w);
    return player.Picture();
}

std::vector<uint8_t> JpegOf(const QImage& image, int quality = 95) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "JPEG", quality));
    return {bytes.begin(), bytes.end()};
}

QImage Quadrants(int side) {
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y,
                           x < side / 2 ? (y < side / 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255))
                                        : (y < side / 2 ? qRgb(0, 255, 0) : qRgb(255, 255, 0)));
    return image;
}

} // namespace

TEST(SwfRender, SolidShapesInDepthOrderOverTheBackground) {
    SwfTestWriter w(100, 100);
    w.Background(0x123456);
    uint16_t red = w.Rect(10 * Twips, 10 * Twips, 50 * Twips, 50 * Twips, Red);
    uint16_t blue = w.Rect(40 * Twips, 40 * Twips, 50 * Twips, 50 * Twips, Blue, 1);
    w.Place(blue, 2);
    w.Place(red, 1);
    w.ShowFrame();
    QImage image = Draw(w);
    ASSERT_EQ(image.size(), QSize(100, 100));
    EXPECT_PIXEL(image, 5, 5, QColor(0x12, 0x34, 0x56));
    EXPECT_PIXEL(image, 20, 20, Qt::red);
    EXPECT_PIXEL(image, 50, 50, Qt::blue); // the higher depth covers the lower
    EXPECT_PIXEL(image, 80, 80, Qt::blue);
    EXPECT_PIXEL(image, 95, 20, QColor(0x12, 0x34, 0x56));
}

TEST(SwfRender, AHoleDrawnWithTheOtherFillSideStaysEmpty) {
    SwfTestWriter w(100, 100);
    ShapeBuilder s;
    s.fills.push_back(Fill::Color(Green));
    s.Rect(10 * Twips, 10 * Twips, 80 * Twips, 80 * Twips, 1);
    // Inner square drawn the same way round but with the fill on the other side.
    s.MoveTo(30 * Twips, 30 * Twips);
    s.Style(1, 0, -1);
    s.LineTo(70 * Twips, 30 * Twips);
    s.LineTo(70 * Twips, 70 * Twips);
    s.LineTo(30 * Twips, 70 * Twips);
    s.LineTo(30 * Twips, 30 * Twips);
    w.Place(w.DefineShape(s), 1);
    w.ShowFrame();
    QImage image = Draw(w);
    EXPECT_PIXEL(image, 20, 20, Qt::green);
    EXPECT_PIXEL(image, 50, 50, Qt::white);
    EXPECT_PIXEL(image, 80, 50, Qt::green);
}

TEST(SwfRender, EdgesInAnyOrderStillCloseTheShape) {
    // The four sides of a square given as two disjoint pieces, second piece first.
    SwfTestWriter w(100, 100);
    ShapeBuilder s;
    s.fills.push_back(Fill::Color(Red));
    s.MoveTo(80 * Twips, 80 * Twips);
    s.Style(0, 1, 0);
    s.LineTo(20 * Twips, 80 * Twips);
    s.LineTo(20 * Twips, 20 * Twips);
    s.MoveTo(20 * Twips, 20 * Twips);
    s.LineTo(80 * Twips, 20 * Twips);
    s.LineTo(80 * Twips, 80 * Twips);
    w.Place(w.DefineShape(s), 1);
    w.ShowFrame();
    QImage image = Draw(w);
    EXPECT_PIXEL(image, 50, 50, Qt::red);
    EXPECT_PIXEL(image, 25, 75, Qt::red);
    EXPECT_PIXEL(image, 10, 10, Qt::white);
}

TEST(SwfRender, CurvesAndLines) {
    SwfTestWriter w(100, 100);
    ShapeBuilder s;
    s.fills.push_back(Fill::Color(Blue));
    s.lines.push_back({4 * Twips, Black});
    // A lens: two quadratic curves between (10,50) and (90,50).
    s.MoveTo(10 * Twips, 50 * Twips);
    s.Style(0, 1, 0);
    s.CurveTo(50 * Twips, 10 * Twips, 90 * Twips, 50 * Twips);
    s.CurveTo(50 * Twips, 90 * Twips, 10 * Twips, 50 * Twips);
    // A thick black line along the bottom.
    s.MoveTo(0, 95 * Twips);
    s.Style(0, 0, 1);
    s.LineTo(100 * Twips, 95 * Twips);
    w.Place(w.DefineShape(s), 1);
    w.ShowFrame();
    QImage image = Draw(w);
    EXPECT_PIXEL(image, 50, 50, Qt::blue);
    EXPECT_PIXEL(image, 50, 35, Qt::blue);
    EXPECT_PIXEL(image, 15, 30, Qt::white); // outside the curve, inside its control box
    EXPECT_PIXEL(image, 50, 95, Qt::black);
    EXPECT_PIXEL(image, 50, 85, Qt::white);
}

TEST(SwfRender, LinearAndRadialGradients) {
    SwfTestWriter w(200, 100);
    ShapeBuilder s;
    Fill linear{Fill::Linear};
    linear.stops = {{0, Red}, {255, Blue}};
    // The gradient square (32768 twips) scaled to 100 pixels, centred on x = 50.
    linear.matrix =
        Matrix::Scale(100.0 * Twips / 32768, 100.0 * Twips / 32768, 50 * Twips, 50 * Twips);
    Fill radial{Fill::Radial};
    radial.stops = {{0, Green}, {255, Black}};
    radial.matrix =
        Matrix::Scale(100.0 * Twips / 32768, 100.0 * Twips / 32768, 150 * Twips, 50 * Twips);
    s.fills = {linear, radial};
    s.Rect(0, 0, 100 * Twips, 100 * Twips, 1);
    s.Rect(100 * Twips, 0, 100 * Twips, 100 * Twips, 2);
    w.Place(w.DefineShape(s), 1);
    w.ShowFrame();
    QImage image = Draw(w);
    EXPECT_PIXEL(image, 1, 50, Qt::red);
    EXPECT_PIXEL(image, 98, 50, Qt::blue);
    EXPECT_PIXEL(image, 50, 50, QColor(128, 0, 128));
    EXPECT_PIXEL(image, 150, 50, Qt::green);
    EXPECT_PIXEL(image, 198, 2, Qt::black); // beyond the radius the last colour pads
}

TEST(SwfRender, ClippedAndRepeatingBitmapFills) {
    SwfTestWriter w(200, 100);
    QImage q = Quadrants(2);
    std::vector<uint32_t> argb;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            argb.push_back(q.pixel(x, y));
    uint16_t bitmap = w.BitsLossless(2, 2, argb);
    ShapeBuilder clipped;
    Fill f{Fill::Bitmap};
    f.bitmapId = bitmap;
    f.smooth = false;
    f.matrix = Matrix::Scale(40 * Twips, 40 * Twips); // one bitmap pixel = 40 screen pixels
    clipped.fills = {f};
    clipped.Rect(0, 0, 80 * Twips, 80 * Twips, 1);
    w.Place(w.DefineShape(clipped), 1);
    ShapeBuilder repeating;
    f.repeat = true;
    f.matrix = Matrix::Scale(10 * Twips, 10 * Twips);
    repeating.fills = {f};
    repeating.Rect(100 * Twips, 0, 100 * Twips, 100 * Twips, 1);
    w.Place(w.DefineShape(repeating), 2);
    w.ShowFrame();
    QImage image = Draw(w);
    EXPECT_PIXEL(image, 20, 20, Qt::red);
    EXPECT_PIXEL(image, 60, 20, Qt::green);
    EXPECT_PIXEL(image, 20, 60, Qt::blue);
    EXPECT_PIXEL(image, 60, 60, Qt::yellow);
    // Repeating: a 20-pixel tile from x = 0, so x = 105 is the red quadrant again.
    EXPECT_PIXEL(image, 105, 5, Qt::red);
    EXPECT_PIXEL(image, 115, 5, Qt::green);
    EXPECT_PIXEL(image, 125, 5, Qt::red);
    EXPECT_PIXEL(image, 125, 15, Qt::blue);
}

TEST(SwfRender, JpegBitmapsOfEveryKind) {
    QImage picture = Quadrants(32);
    SwfTestWriter w(128, 32);
    uint16_t jpeg2 = w.BitsJpeg2(JpegOf(picture));
    std::vector<uint8_t> halfAlpha(32 * 32, 128);
    uint16_t jpeg3 = w.BitsJpeg3(JpegOf(picture), halfAlpha);
    uint16_t withTables = w.BitsWithTables(JpegOf(picture));
    int x = 0;
    for (uint16_t id : {jpeg2, jpeg3, withTables}) {
        ShapeBuilder s;
        Fill f{Fill::Bitmap};
        f.bitmapId = id;
        f.matrix = Matrix::Scale(Twips, Twips, x * Twips, 0);
        s.fills = {f};
        s.Rect(x * Twips, 0, 32 * Twips, 32 * Twips, 1);
        w.Place(w.DefineShape(s), static_cast<uint16_t>(x + 1));
        x += 40;
    }
    w.ShowFrame();
    QImage image = Draw(w);
    EXPECT_PIXEL(image, 8, 8, Qt::red);
    EXPECT_PIXEL(image, 24, 24, Qt::yellow);
    EXPECT_PIXEL(image, 40 + 8, 8, QColor(255, 127, 127)); // red at half alpha over white
    EXPECT_PIXEL(image, 80 + 24, 8, Qt::green);
    EXPECT_PIXEL(image, 80 + 8, 24, Qt::blue);
}

TEST(SwfRender, LosslessBitmapWithAlphaBlends) {
    SwfTestWriter w(20, 20);
    w.Background(0x000000);
    uint16_t bitmap = w.BitsLossless(1, 1, {0x80FFFFFFu}, true);
    ShapeBuilder s;
    Fill f{Fill::Bitmap};
    f.bitmapId = bitmap;
    f.repeat = true;
    f.matrix = Matrix::Scale(Twips, Twips);
    s.fills = {f};
    s.Rect(0, 0, 20 * Twips, 20 * Twips, 1);
    w.Place(w.DefineShape(s), 1);
    w.ShowFrame();
    EXPECT_PIXEL(Draw(w), 10, 10, QColor(128, 128, 128));
}

TEST(SwfRender, MatricesAndColourTransforms) {
    SwfTestWriter w(100, 100);
    uint16_t square = w.Rect(0, 0, 10 * Twips, 10 * Twips, Red);
    w.Place(square, 1, Matrix::Scale(2, 3, 50 * Twips, 10 * Twips)); // 20 x 30 at (50,10)
    ColorTransform toGreen;
    toGreen.mult[0] = 0;
    toGreen.add[1] = 255;
    w.Place(square, 2, Matrix::Translate(10 * Twips, 60 * Twips), &toGreen);
    ColorTransform half;
    half.mult[3] = 0.5;
    w.Place(square, 3, Matrix::Translate(30 * Twips, 60 * Twips), &half);
    // Rotated 90 degrees about the origin, then moved to (90, 80): covers x 80..90.
    w.Place(square, 4, Matrix{0, 0, 1, -1, 90 * Twips, 80 * Twips});
    w.ShowFrame();
    QImage image = Draw(w);
    EXPECT_PIXEL(image, 55, 15, Qt::red);
    EXPECT_PIXEL(image, 68, 38, Qt::red);
    EXPECT_PIXEL(image, 72, 15, Qt::white);
    EXPECT_PIXEL(image, 15, 65, Qt::green);
    EXPECT_PIXEL(image, 35, 65, QColor(255, 127, 127));
    EXPECT_PIXEL(image, 85, 85, Qt::red);
    EXPECT_PIXEL(image, 95, 85, Qt::white);
}

TEST(SwfRender, AClipLayerMasksTheDepthsItCovers) {
    SwfTestWriter w(100, 100);
    uint16_t mask = w.Rect(20 * Twips, 20 * Twips, 30 * Twips, 30 * Twips, Black);
    uint16_t big = w.Rect(0, 0, 100 * Twips, 100 * Twips, Blue);
    uint16_t top = w.Rect(0, 80 * Twips, 100 * Twips, 20 * Twips, Green);
    w.Place(mask, 1, {}, nullptr, -1, 2); // clips depth 2 only
    w.Place(big, 2);
    w.Place(top, 3);
    w.ShowFrame();
    QImage image = Draw(w);
    EXPECT_PIXEL(image, 30, 30, Qt::blue);
    EXPECT_PIXEL(image, 10, 10, Qt::white); // masked away, not the mask's own colour
    EXPECT_PIXEL(image, 70, 70, Qt::white);
    EXPECT_PIXEL(image, 50, 90, Qt::green); // above the clip's range
}

TEST(SwfRender, StaticTextWithTheMovieGlyphs) {
    SwfTestWriter w(200, 50);
    uint16_t font = w.Font("Boxes", "AB");
    // Height 20 px: each glyph square spans 100..900 of 1024 em units.
    w.Place(w.Text(font, "ABA", "AB", 10 * Twips, 40 * Twips, 20 * Twips, Red, 30 * Twips), 1);
    w.ShowFrame();
    QImage image = Draw(w);
    // First glyph: x 10 + 20*100/1024 .. 10 + 20*900/1024 = ~12..27, y 40 - 15.6 .. 40.
    EXPECT_PIXEL(image, 19, 33, Qt::red);
    EXPECT_PIXEL(image, 49, 33, Qt::red);
    EXPECT_PIXEL(image, 79, 33, Qt::red);
    EXPECT_PIXEL(image, 34, 33, Qt::white); // between glyphs
    EXPECT_PIXEL(image, 19, 10, Qt::white); // above them
}

TEST(SwfRender, DeviceFontTextAndEditTextAreDrawnWithQtFonts) {
    SwfTestWriter w(200, 100);
    uint16_t font = w.Font("DejaVu Sans", "HI", false);
    w.Place(w.Text(font, "HIHI", "HI", 10 * Twips, 40 * Twips, 30 * Twips, Blue, 20 * Twips), 1);
    w.Place(w.EditText("<p><b>WWWW</b></p>", 10 * Twips, 55 * Twips, 180 * Twips, 40 * Twips,
                       24 * Twips, Red, font, true, true),
            2);
    w.ShowFrame();
    QImage image = Draw(w);
    auto count = [&image](QRect r, QColor c) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += Near(image.pixelColor(x, y), c, 60);
        return n;
    };
    EXPECT_GT(count(QRect(5, 5, 100, 40), Qt::blue), 40);
    EXPECT_GT(count(QRect(10, 55, 180, 40), Qt::red), 40);
    EXPECT_EQ(count(QRect(110, 5, 80, 40), Qt::blue), 0);
    EXPECT_PIXEL(image, 10, 70, Qt::black); // the border
}

TEST(SwfRender, EditTextReducesHtmlToItsText) {
    SwfTestWriter w(100, 100);
    w.EditText("<p align=\"left\"><font face=\"x\">A &amp; B</font></p><p>C&lt;D</p>", 0, 0, 2000,
               2000, 240, Black, 0, true);
    auto movie = Load(w);
    ASSERT_TRUE(movie);
    auto edit = ParseEditText(*movie->DefinitionTag(1), 10);
    EXPECT_EQ(edit->text.toStdString(), "A & B\nC<D");
    EXPECT_TRUE(edit->html);
}

TEST(SwfRender, MorphShapeFollowsItsRatio) {
    SwfTestWriter w(100, 100);
    uint16_t morph = w.MorphRect(0, 0, 20 * Twips, 20 * Twips, Red, 60 * Twips, 60 * Twips,
                                 40 * Twips, 40 * Twips, Blue);
    w.Place(morph, 1, {}, nullptr, 0);
    w.ShowFrame();
    w.Move(1, {}, 65535);
    w.ShowFrame();
    w.Move(1, {}, 32768);
    w.ShowFrame();
    SwfPlayer player;
    Open(player, w);
    QImage start = player.Picture();
    EXPECT_PIXEL(start, 10, 10, Qt::red);
    EXPECT_PIXEL(start, 80, 80, Qt::white);
    player.SetFrameNum(1);
    QImage end = player.Picture();
    EXPECT_PIXEL(end, 10, 10, Qt::white);
    EXPECT_PIXEL(end, 80, 80, Qt::blue);
    EXPECT_PIXEL(end, 62, 62, Qt::blue);
    player.SetFrameNum(2);
    QImage middle = player.Picture();
    // Halfway: from (30,30) to (60,60), purple.
    EXPECT_PIXEL(middle, 45, 45, QColor(128, 0, 127));
    EXPECT_PIXEL(middle, 25, 25, Qt::white);
}

TEST(SwfRender, NestedSpriteAnimatesWhileTheMainTimelineStands) {
    SwfTestWriter w(50, 50);
    uint16_t red = w.Rect(0, 0, 50 * Twips, 50 * Twips, Red);
    uint16_t green = w.Rect(0, 0, 50 * Twips, 50 * Twips, Green);
    uint16_t sprite = w.BeginSprite();
    w.Place(red, 1);
    w.ShowFrame();
    w.Remove(1);
    w.Place(green, 1);
    w.ShowFrame();
    w.EndSprite();
    w.Place(sprite, 1, Matrix::Translate(0, 0));
    w.DoAction(act::Stop());
    w.ShowFrame();
    w.ShowFrame();
    SwfPlayer player;
    Open(player, w, true);
    EXPECT_FALSE(player.Playing()); // the stop action of frame 0
    EXPECT_PIXEL(player.Picture(), 25, 25, Qt::red);
    player.AdvanceFrame();
    EXPECT_EQ(player.CurrentFrame(), 0);
    EXPECT_PIXEL(player.Picture(), 25, 25, Qt::green);
    player.AdvanceFrame();
    EXPECT_PIXEL(player.Picture(), 25, 25, Qt::red); // sprites loop
}

TEST(SwfRender, ColourTransformsComposeThroughSprites) {
    SwfTestWriter w(50, 50);
    uint16_t white = w.Rect(0, 0, 50 * Twips, 50 * Twips, 0xFFFFFFFF);
    uint16_t sprite = w.BeginSprite();
    ColorTransform noRed;
    noRed.mult[0] = 0;
    w.Place(white, 1, {}, &noRed);
    w.ShowFrame();
    w.EndSprite();
    ColorTransform noGreen;
    noGreen.mult[1] = 0;
    w.Background(0x000000);
    w.Place(sprite, 1, {}, &noGreen);
    w.ShowFrame();
    EXPECT_PIXEL(Draw(w), 25, 25, Qt::blue);
}

// Pictures in memory are drawn on a thread of the global pool; the result must be the
// same wherever the drawing starts, and a pool kept busy by other work must not hold it.
TEST(SwfRender, SamePictureFromAnyThreadAndWithABusyPool) {
    SwfTestWriter w(120, 80);
    w.Background(0xF0F0F0);
    ShapeBuilder s;
    Fill linear{Fill::Linear};
    linear.stops = {{0, Red}, {255, Blue}};
    linear.matrix = Matrix::Scale(0.004, 0.004, 60 * Twips, 40 * Twips);
    s.fills = {linear};
    s.lines = {{30, 0x202020FF}};
    s.MoveTo(-600, 0);
    s.Style(0, 1, 1);
    s.CurveTo(-600, -600, 0, -600);
    s.CurveTo(600, -600, 600, 0);
    s.LineTo(-600, 0);
    uint16_t blob = w.DefineShape(s);
    for (int i = 0; i < 6; ++i)
        w.Place(blob, static_cast<uint16_t>(i + 1),
                Matrix{1.5, 1.5, 0.3 * i, -0.3 * i, (15 + 18 * i) * Twips, (30 + 6 * i) * Twips});
    w.ShowFrame();
    SwfPlayer player;
    Open(player, w);
    QImage here = player.Picture();

    QThreadPool* pool = QThreadPool::globalInstance();
    QImage there;
    QSemaphore drawn;
    pool->start([&] {
        there = player.Picture();
        drawn.release();
    });
    ASSERT_TRUE(drawn.tryAcquire(1, 60000));
    EXPECT_EQ(here, there);

    // Every pool thread busy with other work for a while: the frame is taken back and
    // drawn here, and comes out the same. (Qt's own fills also wait for this pool, so
    // the work has to end by itself; a pool blocked for good would hold any drawing.)
    QSemaphore started;
    int busy = pool->maxThreadCount();
    for (int i = 0; i < busy; ++i)
        pool->start([&] {
            started.release();
            QThread::msleep(300);
        });
    ASSERT_TRUE(started.tryAcquire(busy, 60000));
    QImage whileBusy = player.Picture();
    pool->waitForDone();
    EXPECT_EQ(here, whileBusy);
}
