#pragma once
// Our Flash player: loads a movie, runs its main timeline and its sprites in real time
// on a QTimer at the movie's frame rate, runs the timeline actions, and paints the
// current picture into any QImage. Its members follow the Flash control the program
// was designed around: `Movie`, `FrameNum`, TotalFrames, CurrentFrame(), `Playing`,
// ReadyState, `Loop`, Play, StopPlay, Rewind, Forward, Back, IsPlaying and Zoom, with
// frames counted from 0.
//
// The sound side does not live here: listeners registered with AddFrameListener are
// told, for every frame entered, which sound tags fire on it (main timeline and every
// sprite instance), so a mixer can keep the sound in step with the picture.
//
// Everything runs on the thread that owns the player (the GUI thread).

#include "platform/swf/SwfMovie.h"

#include <QImage>
#include <QObject>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QPainter;

namespace omm::swf {

class SwfStage; // the running display lists and the renderer (SwfStage.h)

// One sound tag firing in a frame that was just entered.
struct SwfSoundEvent {
    // StartSound, StartSound2, SoundStreamHead, SoundStreamHead2 or SoundStreamBlock;
    // points into the movie, valid while the movie is held.
    const SwfTag* tag = nullptr;
    // The timeline instance it belongs to: 0 is the main timeline, every placed sprite
    // gets its own number (never reused within one loaded movie). Stream sound belongs
    // to one instance: a SoundStreamHead starts that instance's stream, its
    // SoundStreamBlocks feed it.
    uint32_t instance = 0;
    uint16_t spriteId = 0;      // DefineSprite character id, 0 for the main timeline
    uint32_t timelineFrame = 0; // frame within that timeline, from 0
    // True when the instance reached this frame by ordinary playing from the frame
    // before; false after a jump, a rewind, a loop back to the start or a first frame.
    // Stream sound should be re-synchronised when this is false.
    bool sequential = false;
};

struct SwfFrameEvent {
    uint32_t frame = 0;                   // main-timeline frame now current, from 0
    bool sequential = false;              // main timeline came from frame - 1 by ordinary playing
    std::vector<SwfSoundEvent> sounds;    // main timeline first, then sprites by depth
    std::vector<uint32_t> endedInstances; // sprite instances removed since last event
};

using SwfFrameListener = std::function<void(const SwfFrameEvent&)>;

class SwfPlayer : public QObject {
    Q_OBJECT
public:
    explicit SwfPlayer(QObject* parent = nullptr);
    ~SwfPlayer() override;

    // --- Loading ----------------------------------------------------------------
    // Writing `Movie`: loads the file (an empty path unloads). Returns false and sets
    // LastError() when the file cannot be read; the player is then empty. A loaded
    // movie starts at frame 0 and plays when AutoPlay() is true (the default, as the
    // Flash control does).
    bool SetMovie(const QString& path);
    // Loads an already read movie (tests, tools).
    void SetMovieData(std::shared_ptr<const SwfMovie> movie, const QString& path = {});
    QString Movie() const { return path_; }
    std::shared_ptr<const SwfMovie> MovieData() const { return movie_; }
    const QString& LastError() const { return lastError_; }
    void SetAutoPlay(bool autoPlay) { autoPlay_ = autoPlay; }
    bool AutoPlay() const { return autoPlay_; }

    // --- Position and state -----------------------------------------------------
    // 4 (complete) once a movie is loaded, 0 otherwise.
    int ReadyState() const;
    int TotalFrames() const;
    int CurrentFrame() const;
    int FrameNum() const { return CurrentFrame(); }
    // Goes to a frame (clamped to the movie) without changing whether it plays.
    void SetFrameNum(int frame);
    bool Playing() const { return playing_; }
    void SetPlaying(bool playing);
    bool IsPlaying() const { return playing_; }
    bool Loop() const { return loop_; }
    void SetLoop(bool loop) { loop_ = loop; }

    void Play();
    void StopPlay();
    void Rewind();  // back to frame 0; whether it plays is left as it was
    void Forward(); // one frame on, then stopped (as the nextFrame action)
    void Back();    // one frame back, then stopped (as the prevFrame action)

    // Frames per second of the movie's header (8.8 fixed point). A rate of 0 plays at
    // 12 frames per second instead of never.
    double FrameRate() const;
    // What one timer tick does: moves to the next frame (or loops, or stops at the
    // last one) and runs its actions. Public so the sound renderer and tests can drive
    // the timeline without waiting for the clock.
    void AdvanceFrame();

    // --- Picture --------------------------------------------------------------
    // Size of the control's client area in pixels; the movie is shown whole inside it,
    // keeping its proportions and centred (the rest shows the background colour).
    // Defaults to the stage size.
    void SetViewSize(QSize size);
    QSize ViewSize() const { return viewSize_; }
    QSize StageSize() const; // natural size in pixels
    QColor BackgroundColor() const;
    // Zoom(0) restores the natural view; a percent below 100 enlarges the current view
    // (Zoom(50) doubles it), above 100 shrinks it. The view stays centred.
    void Zoom(int percent);
    // The stage region (in twips) shown in the view.
    QRectF ViewRect() const { return viewRect_; }
    // Paints the control's current picture into target so that the control's point
    // (0, 0) lands on target pixel offset; pixels outside the control stay untouched.
    // The painter's own transform is not used: offset places the picture.
    void Paint(QImage& target, QPoint offset = {}) const;
    void Paint(QPainter& painter, QPoint offset = {}) const;
    // The current picture at the view size.
    QImage Picture() const;
    // Smooth bitmap scaling and anti-aliasing (on by default).
    void SetHighQuality(bool on) { highQuality_ = on; }

    // --- Sound hook -------------------------------------------------------------
    // Called after every frame entered (also for the first frame when a movie loads
    // and for each frame a goto lands on). Returns an id for RemoveFrameListener.
    int AddFrameListener(SwfFrameListener listener);
    void RemoveFrameListener(int id);

Q_SIGNALS:
    void movieLoaded();
    // After a tick or a jump changed the picture (the frame's tags and actions ran).
    void frameChanged(int frame);
    void playingChanged(bool playing);

private:
    void Unload();
    void EnterFrame(int frame, bool sequential);
    void RestartTimer();
    void Notify(const SwfFrameEvent& event);

    std::shared_ptr<const SwfMovie> movie_;
    std::unique_ptr<SwfStage> stage_;
    QString path_;
    QString lastError_;
    QTimer timer_;
    QSize viewSize_;
    QRectF viewRect_;
    bool playing_ = false;
    bool loop_ = true;
    bool autoPlay_ = true;
    bool highQuality_ = true;
    int nextListenerId_ = 1;
    std::vector<std::pair<int, SwfFrameListener>> listeners_;
};

} // namespace omm::swf
