// The player: frames, looping, actions, zoom, painting at an offset, the sound hook
// and the widget.

#include "platform/swf/SwfStage.h"
#include "platform/swf/SwfWidget.h"
#include "support/TestSupport.h"
#include "swf/SwfTestSupport.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <filesystem>

using namespace omm::swf;
using namespace omm::swftest;

namespace {

// A movie of `frames` frames, each showing a full-stage rectangle of its own colour,
// so the picture tells which frame is shown.
const QColor FrameColours[] = {Qt::red,  Qt::green,   Qt::blue,  Qt::yellow,
                               Qt::cyan, Qt::magenta, Qt::black, Qt::gray};

uint32_t Rgba(QColor c) {
    return (uint32_t(c.red()) << 24) | (c.green() << 16) | (c.blue() << 8) | 0xFF;
}

SwfTestWriter Colours(int frames, std::map<int, std::vector<uint8_t>> actions = {},
                      std::map<int, std::string> labels = {}) {
    SwfTestWriter w(40, 40, 20);
    std::vector<uint16_t> ids;
    for (int i = 0; i < frames; ++i)
        ids.push_back(w.Rect(0, 0, 40 * Twips, 40 * Twips, Rgba(FrameColours[i % 8])));
    for (int i = 0; i < frames; ++i) {
        if (i > 0)
            w.Remove(1);
        w.Place(ids[static_cast<size_t>(i)], 1);
        if (labels.count(i))
            w.Label(labels[i]);
        if (actions.count(i))
            w.DoAction(actions[i]);
        w.ShowFrame();
    }
    return w;
}

int ShownFrame(const SwfPlayer& player) {
    QColor c = player.Picture().pixelColor(20, 20);
    for (int i = 0; i < 8; ++i)
        if (Near(c, FrameColours[i], 4))
            return i;
    return -1;
}

} // namespace

TEST(SwfPlayer, EmptyUntilAMovieIsLoaded) {
    SwfPlayer player;
    EXPECT_EQ(player.ReadyState(), 0);
    EXPECT_EQ(player.TotalFrames(), 0);
    EXPECT_EQ(player.CurrentFrame(), 0);
    EXPECT_TRUE(player.Movie().isEmpty());
    player.Play();
    player.Zoom(50);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_FALSE(player.SetMovie("/nonexistent/x.swf"));
    EXPECT_TRUE(player.LastError().contains("/nonexistent/x.swf"));
    EXPECT_EQ(player.ReadyState(), 0);
}

TEST(SwfPlayer, LoadsFromAFileAndCountsFramesFromZero) {
    omm::test::TempDir dir;
    Colours(5).Save((dir / "five.swf").string());
    SwfPlayer player;
    ASSERT_TRUE(player.SetMovie(QString::fromStdString((dir / "five.swf").string())));
    EXPECT_EQ(player.ReadyState(), 4);
    EXPECT_EQ(player.TotalFrames(), 5);
    EXPECT_EQ(player.CurrentFrame(), 0);
    EXPECT_TRUE(player.IsPlaying()); // a loaded movie plays, as the Flash control does
    EXPECT_EQ(player.Movie().toStdString(), (dir / "five.swf").string());
    EXPECT_EQ(ShownFrame(player), 0);
    player.SetFrameNum(3);
    EXPECT_EQ(player.FrameNum(), 3);
    EXPECT_EQ(ShownFrame(player), 3);
    player.SetFrameNum(99);
    EXPECT_EQ(player.CurrentFrame(), 4);
    player.SetFrameNum(1); // backwards: the display list is rebuilt
    EXPECT_EQ(ShownFrame(player), 1);
    EXPECT_TRUE(player.SetMovie(QString()));
    EXPECT_EQ(player.ReadyState(), 0);
}

TEST(SwfPlayer, LoopsOrStopsAtTheLastFrame) {
    SwfPlayer player;
    Open(player, Colours(3), true);
    player.SetLoop(true);
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
        player.AdvanceFrame();
        seen.push_back(player.CurrentFrame());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 0, 1, 2}));
    EXPECT_EQ(ShownFrame(player), 2);
    player.SetLoop(false);
    player.AdvanceFrame();
    EXPECT_EQ(player.CurrentFrame(), 2);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.TotalFrames(), player.FrameNum() + 1); // what the host calls the last frame
}

TEST(SwfPlayer, PlayStopRewindForwardBack) {
    SwfPlayer player;
    Open(player, Colours(4));
    EXPECT_FALSE(player.IsPlaying());
    player.AdvanceFrame();
    EXPECT_EQ(player.CurrentFrame(), 0); // stopped: the clock moves nothing
    player.Forward();
    EXPECT_EQ(player.CurrentFrame(), 1);
    player.Play();
    EXPECT_TRUE(player.Playing());
    player.AdvanceFrame();
    EXPECT_EQ(player.CurrentFrame(), 2);
    player.Forward();
    EXPECT_EQ(player.CurrentFrame(), 3);
    EXPECT_FALSE(player.IsPlaying());
    player.Back();
    EXPECT_EQ(player.CurrentFrame(), 2);
    player.Play();
    player.Rewind();
    EXPECT_EQ(player.CurrentFrame(), 0);
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(ShownFrame(player), 0);
    player.StopPlay();
    EXPECT_FALSE(player.Playing());
    player.SetPlaying(true);
    EXPECT_TRUE(player.Playing());
}

struct ActionCase {
    const char* name;
    std::map<int, std::vector<uint8_t>> actions;
    std::map<int, std::string> labels;
    std::vector<int> frames; // current frame after each tick, from frame 0 playing
    bool playingAtEnd;
};

class ActionTest : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ActionTest, RunsWhenTheFrameIsEntered) {
    const ActionCase& c = GetParam();
    SwfPlayer player;
    player.SetLoop(true);
    Open(player, Colours(6, c.actions, c.labels), true);
    std::vector<int> seen;
    for (size_t i = 0; i < c.frames.size(); ++i) {
        player.AdvanceFrame();
        seen.push_back(player.CurrentFrame());
        EXPECT_EQ(ShownFrame(player), player.CurrentFrame());
    }
    EXPECT_EQ(seen, c.frames);
    EXPECT_EQ(player.IsPlaying(), c.playingAtEnd);
}

INSTANTIATE_TEST_SUITE_P(
    Timeline, ActionTest,
    ::testing::Values(
        ActionCase{"Stop", {{2, act::Stop()}}, {}, {1, 2, 2, 2}, false},
        ActionCase{"GotoFrameStops", {{1, act::GotoFrame(4)}}, {}, {4, 4}, false},
        ActionCase{
            "GotoAndPlay", {{1, act::Join({act::GotoFrame(4), act::Play()})}}, {}, {4, 5, 0}, true},
        ActionCase{"GotoLabel", {{2, act::GotoLabel("five")}}, {{5, "Five"}}, {1, 5, 5}, false},
        ActionCase{"GotoFrame2Number", {{1, act::GotoFrame2(4.0, true)}}, {}, {3, 4, 5}, true},
        ActionCase{
            "GotoFrame2Label", {{1, act::GotoFrame2("end", false)}}, {{5, "end"}}, {5, 5}, false},
        ActionCase{"NextFrame", {{1, act::NextFrame()}}, {}, {2, 2}, false},
        ActionCase{"PrevFrame", {{3, act::PrevFrame()}}, {}, {1, 2, 2, 2}, false},
        ActionCase{"BackwardsLoop",
                   {{3, act::Join({act::GotoFrame(1), act::Play()})}},
                   {},
                   {1, 2, 1, 2, 1},
                   true},
        ActionCase{"UnknownLabelIsIgnored", {{1, act::GotoLabel("nowhere")}}, {}, {1, 2}, true},
        ActionCase{
            "SkippedByJump", {{1, act::Join({act::Jump(1), act::Stop()})}}, {}, {1, 2, 3}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SwfPlayer, EndlessActionLoopsAreCutWithinOneTick) {
    // Frame 1 jumps to 2, frame 2 jumps back to 1 (both playing), and frame 3 spins
    // on a backward Jump: neither may hang the clock.
    auto pingPong = Colours(4, {{1, act::Join({act::GotoFrame(2), act::Play()})},
                                {2, act::Join({act::GotoFrame(1), act::Play()})}});
    SwfPlayer player;
    Open(player, pingPong, true);
    player.AdvanceFrame();
    player.AdvanceFrame();
    EXPECT_GE(player.CurrentFrame(), 0);

    auto spin = Colours(2, {{1, act::Jump(-5)}});
    SwfPlayer spinner;
    Open(spinner, spin, true);
    spinner.AdvanceFrame();
    EXPECT_EQ(spinner.CurrentFrame(), 1);
    spinner.AdvanceFrame();
    EXPECT_EQ(spinner.CurrentFrame(), 0);

    SwfStage stage(Load(pingPong));
    stage.Start();
    stage.Tick(true);
    EXPECT_NE(stage.GuardNote().find("jump"), std::string::npos) << stage.GuardNote();
}

TEST(SwfPlayer, ASpriteThatPlacesItselfIsBounded) {
    SwfTestWriter w(40, 40);
    uint16_t rect = w.Rect(0, 0, 400, 400, Red);
    // The sprite's id is the next one: it places itself twice at every level.
    uint16_t self = w.NextId();
    w.BeginSprite();
    w.Place(rect, 1);
    w.Place(self, 2);
    w.Place(self, 3, Matrix::Translate(100, 100));
    w.ShowFrame();
    w.EndSprite();
    w.Place(self, 1);
    w.ShowFrame();
    SwfStage stage(Load(w));
    stage.Start();
    EXPECT_LE(stage.LiveInstances(), 20000u);
    EXPECT_FALSE(stage.GuardNote().empty());
    SwfPlayer player;
    Open(player, w);
    EXPECT_PIXEL(player.Picture(), 2, 2, Qt::red);
}

TEST(SwfPlayer, ZoomWorksOnTheCurrentView) {
    // Left half red, right half blue, with a green square in the centre.
    SwfTestWriter w(200, 100);
    w.Place(w.Rect(0, 0, 100 * Twips, 100 * Twips, Red), 1);
    w.Place(w.Rect(100 * Twips, 0, 100 * Twips, 100 * Twips, Blue), 2);
    w.Place(w.Rect(90 * Twips, 40 * Twips, 20 * Twips, 20 * Twips, Green), 3);
    w.ShowFrame();
    SwfPlayer player;
    Open(player, w);
    const QRectF natural(0, 0, 200 * Twips, 100 * Twips);
    EXPECT_EQ(player.ViewRect(), natural);
    struct Step {
        int percent;
        double expectedWidth; // pixels of the stage shown across the view
    };
    // Zoom(0) then Zoom(95): 5 % larger; Zoom(105) from there shrinks the current
    // view; Zoom(0) restores; Zoom(60) after that shows 60 %; Zoom(1) is the closest.
    for (Step s : {Step{0, 200}, Step{95, 190}, Step{105, 199.5}, Step{0, 200}, Step{60, 120},
                   Step{50, 60}, Step{0, 200}, Step{1, 2}}) {
        player.Zoom(s.percent);
        EXPECT_NEAR(player.ViewRect().width() / Twips, s.expectedWidth, 1e-6)
            << "Zoom(" << s.percent << ")";
        EXPECT_NEAR(player.ViewRect().center().x(), natural.center().x(), 1e-6);
    }
    player.Zoom(0);
    player.Zoom(50); // the middle 100 x 50 of the stage fills the 200 x 100 view
    QImage image = player.Picture();
    EXPECT_PIXEL(image, 100, 50, Qt::green);
    EXPECT_PIXEL(image, 85, 50, Qt::green); // stage x 92.5
    EXPECT_PIXEL(image, 70, 50, Qt::red);   // stage x 85
    EXPECT_PIXEL(image, 5, 5, Qt::red);
    EXPECT_PIXEL(image, 195, 5, Qt::blue);
    player.Zoom(0);
    image = player.Picture();
    EXPECT_PIXEL(image, 85, 50, Qt::red);
    EXPECT_PIXEL(image, 100, 50, Qt::green);
}

TEST(SwfPlayer, PaintsIntoABitmapAtAnOffsetAndKeepsProportions) {
    SwfTestWriter w(100, 50);
    w.Background(0x00FF00);
    w.Place(w.Rect(0, 0, 10 * Twips, 10 * Twips, Red), 1);
    w.ShowFrame();
    SwfPlayer player;
    Open(player, w);
    QImage target(60, 60, QImage::Format_RGB32);
    target.fill(Qt::black);
    // The control's point (30, 20) lands on the bitmap's top-left pixel.
    player.Paint(target, QPoint(-30, -20));
    EXPECT_PIXEL(target, 0, 0, Qt::green);
    EXPECT_PIXEL(target, 59, 29, Qt::green);
    EXPECT_PIXEL(target, 10, 40, Qt::black); // below the 50-pixel-high control
    player.Paint(target, QPoint(5, 5));
    EXPECT_PIXEL(target, 8, 8, Qt::red);
    EXPECT_PIXEL(target, 2, 2, Qt::green); // left from the earlier paint, untouched

    player.SetViewSize(QSize(200, 200)); // wider than the movie's shape: centred
    QImage big = player.Picture();
    EXPECT_PIXEL(big, 10, 60, Qt::red);   // stage (5,5) at (10, 50 + 10)
    EXPECT_PIXEL(big, 10, 20, Qt::green); // the band above shows the background
}

TEST(SwfPlayer, TellsListenersWhichSoundTagsFireOnEachFrame) {
    SwfTestWriter w(40, 40);
    uint16_t sound = w.DefineSound(3, 1, true, false, 2, {1, 0, 2, 0});
    uint16_t rect = w.Rect(0, 0, 100, 100, Red);
    uint16_t sprite = w.BeginSprite();
    w.StartSound(sound);
    w.ShowFrame();
    w.ShowFrame();
    w.EndSprite();
    w.SoundStreamHead(3, 1, true, false, 2);
    w.SoundStreamBlock({0, 0, 0, 0});
    w.Place(rect, 1);
    w.ShowFrame();
    w.SoundStreamBlock({1, 1, 1, 1});
    w.Place(sprite, 2);
    w.ShowFrame();
    w.Remove(2);
    w.SoundStreamBlock({2, 2, 2, 2});
    w.ShowFrame();
    SwfPlayer player;
    std::vector<SwfFrameEvent> events;
    int id = player.AddFrameListener([&events](const SwfFrameEvent& e) { events.push_back(e); });
    Open(player, w, true);
    player.SetLoop(false);
    player.AdvanceFrame();
    player.AdvanceFrame();
    player.AdvanceFrame(); // at the end: nothing entered
    player.SetFrameNum(1); // a jump
    player.RemoveFrameListener(id);
    player.SetFrameNum(2);

    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].frame, 0u);
    EXPECT_FALSE(events[0].sequential);
    ASSERT_EQ(events[0].sounds.size(), 2u);
    EXPECT_EQ(events[0].sounds[0].tag->code, TagSoundStreamHead2);
    EXPECT_EQ(events[0].sounds[1].tag->code, TagSoundStreamBlock);
    EXPECT_EQ(events[0].sounds[1].instance, 0u);

    EXPECT_EQ(events[1].frame, 1u);
    EXPECT_TRUE(events[1].sequential);
    ASSERT_EQ(events[1].sounds.size(), 2u);
    EXPECT_EQ(events[1].sounds[0].tag->body[0], 1); // the block of frame 1
    EXPECT_EQ(events[1].sounds[1].tag->code, TagStartSound);
    EXPECT_EQ(events[1].sounds[1].spriteId, sprite);
    uint32_t instance = events[1].sounds[1].instance;
    EXPECT_NE(instance, 0u);
    EXPECT_EQ(events[1].sounds[1].timelineFrame, 0u);

    EXPECT_EQ(events[2].frame, 2u);
    EXPECT_TRUE(events[2].sequential);
    EXPECT_EQ(events[2].endedInstances, std::vector<uint32_t>{instance});
    ASSERT_EQ(events[2].sounds.size(), 1u);
    EXPECT_EQ(events[2].sounds[0].tag->body[0], 2);

    EXPECT_EQ(events[3].frame, 1u);
    EXPECT_FALSE(events[3].sequential);
    ASSERT_EQ(events[3].sounds.size(), 2u);
    EXPECT_NE(events[3].sounds[1].instance, instance); // a new instance of the sprite
}

TEST(SwfPlayer, PlaysInRealTimeAtTheMovieRate) {
    SwfTestWriter w(40, 40, 50);
    for (int i = 0; i < 200; ++i)
        w.ShowFrame();
    SwfPlayer player;
    std::vector<int> changes;
    QObject::connect(&player, &SwfPlayer::frameChanged,
                     [&changes](int f) { changes.push_back(f); });
    Open(player, w, true);
    EXPECT_DOUBLE_EQ(player.FrameRate(), 50);
    QEventLoop loop;
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_GT(player.CurrentFrame(), 2);
    EXPECT_LT(player.CurrentFrame(), 199);
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back(), player.CurrentFrame());
}

TEST(SwfPlayer, AZeroFrameRatePlaysAtTwelve) {
    SwfTestWriter w(40, 40, 0);
    w.ShowFrame();
    SwfPlayer player;
    Open(player, w);
    EXPECT_DOUBLE_EQ(player.FrameRate(), 12);
}

TEST(SwfWidget, ShowsTheMovieAndFollowsItsSize) {
    SwfTestWriter w(240, 120);
    w.Background(0xFFFFFF);
    ShapeBuilder s;
    Fill g{Fill::Linear};
    g.stops = {{0, Red}, {128, Green}, {255, Blue}};
    g.matrix = Matrix::Scale(240.0 * Twips / 32768, 1, 120 * Twips, 0);
    s.fills = {g, Fill::Color(0xFFFF00FF)};
    s.lines.push_back({3 * Twips, Black});
    s.Rect(10 * Twips, 10 * Twips, 220 * Twips, 60 * Twips, 1, 1);
    s.MoveTo(120 * Twips, 75 * Twips);
    s.Style(0, 2, 1);
    s.CurveTo(160 * Twips, 75 * Twips, 160 * Twips, 95 * Twips);
    s.CurveTo(160 * Twips, 115 * Twips, 120 * Twips, 115 * Twips);
    s.CurveTo(80 * Twips, 115 * Twips, 80 * Twips, 95 * Twips);
    s.CurveTo(80 * Twips, 75 * Twips, 120 * Twips, 75 * Twips);
    w.Place(w.DefineShape(s), 1);
    uint16_t font = w.Font("Boxes", "OM");
    w.Place(w.Text(font, "OMM", "OM", 20 * Twips, 110 * Twips, 16 * Twips, Blue, 18 * Twips), 2);
    w.ShowFrame();
    SwfWidget widget;
    widget.Player().SetMovieData(Load(w), "widget.swf");
    widget.resize(480, 240);
    widget.show();
    QApplication::processEvents();
    EXPECT_EQ(widget.Player().ViewSize(), QSize(480, 240));
    EXPECT_EQ(widget.sizeHint(), QSize(240, 120));
    QImage shot = widget.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(480, 240));
    EXPECT_PIXEL(shot, 240, 190, Qt::yellow);
    EXPECT_PIXEL(shot, 240, 5, Qt::white);
    std::filesystem::path out = std::filesystem::path(OMM_BIN_DIR).parent_path() / "swf_widget.png";
    EXPECT_TRUE(shot.save(QString::fromStdString(out.string())));
}
