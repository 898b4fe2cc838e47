#pragma once
// The running movie: the display list of the main timeline and of every sprite
// instance, the characters defined so far, the timeline actions, and drawing the
// whole display list with QPainter. SwfPlayer adds the clock, the view and the
// listeners on top of it; tools and tests can drive it directly.

#include "platform/swf/SwfCharacters.h"
#include "platform/swf/SwfPlayer.h"
#include "platform/swf/SwfVideo.h"

#include <QPainter>

#include <deque>
#include <map>
#include <memory>
#include <unordered_map>

namespace omm::swf {

class SwfStage {
public:
    explicit SwfStage(std::shared_ptr<const SwfMovie> movie);
    ~SwfStage();

    const SwfMovie& Movie() const { return *movie_; }
    int TotalFrames() const { return static_cast<int>(movie_->FrameCount()); }
    int CurrentFrame() const { return root_->frame < 0 ? 0 : root_->frame; }
    bool Playing() const { return root_->playing; }
    void SetPlaying(bool playing) { root_->playing = playing; }

    // Enters frame 0 (the first call only) and runs its actions.
    void Start();
    // Goes to a frame of the main timeline from outside (its actions run).
    void GotoFrame(int frame);
    // One tick of the clock: the main timeline moves on when playing (looping back
    // to frame 0 when loop is set, else stopping at its last frame), every sprite
    // instance that existed before the tick moves on, and the actions run.
    void Tick(bool loop);
    // Frame events gathered since the last call.
    std::vector<SwfFrameEvent> TakeEvents();

    // Draws the display list; toDevice maps stage twips to the painter's pixels.
    void Render(QPainter& painter, const QTransform& toDevice, bool highQuality);
    // Pictures in memory are drawn on a thread of Qt's global pool (see Render). A
    // program that must keep every allocation on its own thread switches that off: the
    // fuzzer, whose leak check cannot see Qt's per-thread font caches.
    static void SetDrawInPool(bool on);

    // Counts for tests and diagnostics.
    size_t LiveInstances() const { return liveInstances_; }
    // Non-empty once a guard (action steps, nesting, instance count) cut something.
    const std::string& GuardNote() const { return guardNote_; }

    struct Instance;
    struct DisplayObject {
        uint16_t depth = 0;
        uint16_t id = 0;
        const SwfTag* def = nullptr;
        QTransform matrix;
        SwfColorTransform cx;
        uint16_t ratio = 0;
        bool hasRatio = false;
        uint16_t clipDepth = 0;
        std::string name;
        std::shared_ptr<Instance> sprite;
    };
    struct Instance {
        const SwfTimeline* timeline = nullptr;
        uint32_t id = 0;
        uint16_t spriteId = 0;
        int frame = -1;
        bool playing = true;
        int nesting = 0;
        uint64_t bornTick = 0;
        std::map<uint16_t, DisplayObject> list;
    };

    // Resolved characters, parsed on first use (keyed by their defining tag).
    std::shared_ptr<SwfShape> Shape(const SwfTag& tag);
    std::shared_ptr<SwfMorphShape> Morph(const SwfTag& tag);
    std::shared_ptr<SwfText> Text(const SwfTag& tag);
    std::shared_ptr<SwfEditText> EditText(const SwfTag& tag);
    QImage Bitmap(uint16_t id);

private:
    enum class Mode { Replay, Enter };
    void EnterFrame(const std::shared_ptr<Instance>& inst, int frame, Mode mode,
                    std::map<uint16_t, DisplayObject>* reuse, bool sequential);
    void Goto(const std::shared_ptr<Instance>& inst, int frame, bool sequential);
    void Place(const std::shared_ptr<Instance>& inst, const SwfTag& tag,
               std::map<uint16_t, DisplayObject>* reuse, Mode mode);
    void Remove(Instance& inst, uint16_t depth);
    void Ended(DisplayObject& obj);
    std::shared_ptr<Instance> NewSprite(const SwfTag& def, int nesting,
                                        std::map<uint16_t, DisplayObject>* reuse, uint16_t depth);
    void RunActions();
    void RunActionBlock(const std::shared_ptr<Instance>& inst, std::span<const uint8_t> code);
    SwfFrameEvent& CurrentEvent();
    void Guard(const std::string& note);
    void CollectInstances(const std::shared_ptr<Instance>& inst,
                          std::vector<std::weak_ptr<Instance>>& out);

    // Drawing (SwfRender.cpp).
    void RenderHere(QPainter& painter, const QTransform& toDevice, bool highQuality);
    void DrawList(QPainter& p, const Instance& inst, const QTransform& m,
                  const SwfColorTransform& cx, int nesting);
    void DrawObject(QPainter& p, const DisplayObject& obj, const QTransform& m,
                    const SwfColorTransform& cx, int nesting);
    void DrawShape(QPainter& p, const SwfShape& shape, const QTransform& m,
                   const SwfColorTransform& cx);
    void DrawFill(QPainter& p, const SwfFillStyle& fill, const QPainterPath& path,
                  const QTransform& m, const SwfColorTransform& cx);
    void DrawText(QPainter& p, const SwfText& text, const QTransform& m,
                  const SwfColorTransform& cx);
    void DrawEditText(QPainter& p, const SwfEditText& edit, const QTransform& m,
                      const SwfColorTransform& cx);
    void DrawVideo(QPainter& p, const DisplayObject& obj, const QTransform& m,
                   const SwfColorTransform& cx);
    QPainterPath ClipPath(const DisplayObject& obj, const QTransform& m, int nesting);
    QBrush GradientBrush(const SwfFillStyle& fill, const SwfColorTransform& cx);
    QImage TransformedBitmap(uint16_t id, const SwfColorTransform& cx);
    std::shared_ptr<SwfFont> Font(uint16_t id);
    SwfVideoDecoder* Video(const SwfTag& def);

    std::shared_ptr<const SwfMovie> movie_;
    std::shared_ptr<Instance> root_;
    // Characters as defined at the current point of the main timeline: ids may be
    // defined again after a FreeCharacter (some encoders redefine the same bitmap
    // and shape ids for every frame).
    std::unordered_map<uint16_t, const SwfTag*> defs_;
    std::unordered_map<uint16_t, const SwfTag*> fontInfo_;
    std::unordered_map<uint16_t, uint16_t> lastVideoFrame_;
    std::map<uint16_t, std::map<uint16_t, const SwfTag*>> videoFrames_; // stream id -> frames

    std::unordered_map<uint32_t, std::shared_ptr<SwfShape>> shapes_;
    std::unordered_map<uint32_t, std::shared_ptr<SwfMorphShape>> morphs_;
    std::unordered_map<uint32_t, std::shared_ptr<SwfFont>> fonts_;
    std::unordered_map<uint32_t, std::shared_ptr<SwfText>> texts_;
    std::unordered_map<uint32_t, std::shared_ptr<SwfEditText>> edits_;
    std::unordered_map<uint32_t, std::unique_ptr<SwfVideoDecoder>> videos_;
    struct CachedBitmap {
        QImage image;
        uint64_t lastUse = 0;
    };
    std::unordered_map<uint32_t, CachedBitmap> bitmaps_;
    size_t bitmapBytes_ = 0;
    uint64_t useClock_ = 0;
    struct TintedBitmap {
        uint32_t offset = 0;
        SwfColorTransform cx;
        QImage image;
    };
    std::unordered_map<uint16_t, TintedBitmap> tinted_;

    struct PendingActions {
        std::weak_ptr<Instance> inst;
        std::span<const uint8_t> code;
    };
    std::deque<PendingActions> actions_;
    std::vector<SwfFrameEvent> events_;
    bool eventOpen_ = false;
    uint64_t tick_ = 0;
    uint32_t nextInstanceId_ = 1;
    size_t liveInstances_ = 0;
    int framesEnteredThisTick_ = 0;
    int actionStepsThisTick_ = 0;
    std::string guardNote_;
};

} // namespace omm::swf
