#include "platform/swf/SwfPlayer.h"

#include "platform/swf/SwfStage.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace omm::swf {

namespace {
constexpr double FallbackRate = 12.0;
constexpr double MaxRate = 120.0;
constexpr int MaxViewSide = 16384;
} // namespace

SwfPlayer::SwfPlayer(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &SwfPlayer::AdvanceFrame);
}

SwfPlayer::~SwfPlayer() = default;

void SwfPlayer::Unload() {
    timer_.stop();
    stage_.reset();
    movie_.reset();
    path_.clear();
    viewRect_ = QRectF();
    if (playing_) {
        playing_ = false;
        Q_EMIT playingChanged(false);
    }
}

bool SwfPlayer::SetMovie(const QString& path) {
    Unload();
    lastError_.clear();
    if (path.isEmpty())
        return true;
    std::string error;
    auto movie = SwfMovie::Load(path.toStdString(), error);
    if (!movie) {
        lastError_ = QString::fromStdString(error);
        return false;
    }
    SetMovieData(std::move(movie), path);
    return true;
}

void SwfPlayer::SetMovieData(std::shared_ptr<const SwfMovie> movie, const QString& path) {
    Unload();
    if (!movie)
        return;
    movie_ = std::move(movie);
    path_ = path.isEmpty() ? QString::fromStdString(movie_->Name()) : path;
    stage_ = std::make_unique<SwfStage>(movie_);
    const SwfRect& stage = movie_->Header().stage;
    viewRect_ = QRectF(stage.xMin, stage.yMin, stage.Width(), stage.Height());
    if (viewSize_.isEmpty())
        viewSize_ = StageSize();
    stage_->SetPlaying(autoPlay_);
    stage_->Start();
    Q_EMIT movieLoaded();
    auto events = stage_->TakeEvents();
    for (const auto& e : events)
        Notify(e);
    Q_EMIT frameChanged(CurrentFrame());
    playing_ = stage_->Playing();
    if (playing_)
        Q_EMIT playingChanged(true);
    RestartTimer();
}

int SwfPlayer::ReadyState() const {
    return stage_ ? 4 : 0;
}

int SwfPlayer::TotalFrames() const {
    return stage_ ? stage_->TotalFrames() : 0;
}

int SwfPlayer::CurrentFrame() const {
    return stage_ ? stage_->CurrentFrame() : 0;
}

double SwfPlayer::FrameRate() const {
    if (!movie_)
        return FallbackRate;
    double rate = movie_->Header().FrameRate();
    if (!(rate > 0))
        return FallbackRate;
    return std::min(rate, MaxRate);
}

void SwfPlayer::RestartTimer() {
    if (!stage_) {
        timer_.stop();
        return;
    }
    // Sprites keep moving while the main timeline stands, as in Flash.
    int interval = static_cast<int>(std::lround(1000.0 / FrameRate()));
    if (!timer_.isActive() || timer_.interval() != interval)
        timer_.start(std::max(1, interval));
}

void SwfPlayer::Notify(const SwfFrameEvent& event) {
    auto copy = listeners_; // a listener may remove itself
    for (auto& [id, listener] : copy)
        if (listener)
            listener(event);
}

void SwfPlayer::AdvanceFrame() {
    if (!stage_)
        return;
    int before = stage_->CurrentFrame();
    stage_->SetPlaying(playing_);
    stage_->Tick(loop_);
    auto events = stage_->TakeEvents();
    for (const auto& e : events)
        Notify(e);
    bool nowPlaying = stage_->Playing();
    if (stage_->CurrentFrame() != before || !events.empty() || stage_->LiveInstances() > 0)
        Q_EMIT frameChanged(stage_->CurrentFrame());
    if (nowPlaying != playing_) {
        playing_ = nowPlaying;
        Q_EMIT playingChanged(playing_);
    }
}

void SwfPlayer::EnterFrame(int frame, bool /*sequential*/) {
    if (!stage_)
        return;
    stage_->SetPlaying(playing_);
    stage_->GotoFrame(frame);
    auto events = stage_->TakeEvents();
    for (const auto& e : events)
        Notify(e);
    Q_EMIT frameChanged(stage_->CurrentFrame());
    bool nowPlaying = stage_->Playing();
    if (nowPlaying != playing_) {
        playing_ = nowPlaying;
        Q_EMIT playingChanged(playing_);
    }
}

void SwfPlayer::SetFrameNum(int frame) {
    if (!stage_ || TotalFrames() == 0)
        return;
    EnterFrame(std::clamp(frame, 0, TotalFrames() - 1), false);
}

void SwfPlayer::SetPlaying(bool playing) {
    if (playing)
        Play();
    else
        StopPlay();
}

void SwfPlayer::Play() {
    if (!stage_ || playing_)
        return;
    playing_ = true;
    stage_->SetPlaying(true);
    RestartTimer();
    Q_EMIT playingChanged(true);
}

void SwfPlayer::StopPlay() {
    if (!stage_ || !playing_)
        return;
    playing_ = false;
    stage_->SetPlaying(false);
    Q_EMIT playingChanged(false);
}

void SwfPlayer::Rewind() {
    SetFrameNum(0);
}

void SwfPlayer::Forward() {
    if (!stage_)
        return;
    StopPlay();
    SetFrameNum(CurrentFrame() + 1);
}

void SwfPlayer::Back() {
    if (!stage_)
        return;
    StopPlay();
    SetFrameNum(CurrentFrame() - 1);
}

void SwfPlayer::SetViewSize(QSize size) {
    viewSize_ =
        QSize(std::clamp(size.width(), 0, MaxViewSide), std::clamp(size.height(), 0, MaxViewSide));
}

QSize SwfPlayer::StageSize() const {
    if (!movie_)
        return {};
    const SwfRect& s = movie_->Header().stage;
    return QSize(static_cast<int>(std::lround(s.Width() / 20.0)),
                 static_cast<int>(std::lround(s.Height() / 20.0)));
}

QColor SwfPlayer::BackgroundColor() const {
    return movie_ ? QColor::fromRgb(movie_->BackgroundColor()) : QColor(Qt::white);
}

void SwfPlayer::Zoom(int percent) {
    if (!movie_)
        return;
    const SwfRect& s = movie_->Header().stage;
    if (percent <= 0) {
        viewRect_ = QRectF(s.xMin, s.yMin, s.Width(), s.Height());
    } else {
        // The view shows percent/100 of what it showed: below 100 enlarges.
        QPointF centre = viewRect_.center();
        double w = viewRect_.width() * percent / 100.0;
        double h = viewRect_.height() * percent / 100.0;
        // Keep the view within sane bounds however often Zoom is called.
        double minSide = 20.0, maxSide = 1e8;
        w = std::clamp(w, minSide, maxSide);
        h = std::clamp(h, minSide, maxSide);
        viewRect_ = QRectF(centre.x() - w / 2, centre.y() - h / 2, w, h);
    }
    Q_EMIT frameChanged(CurrentFrame());
}

void SwfPlayer::Paint(QPainter& painter, QPoint offset) const {
    if (viewSize_.isEmpty())
        return;
    painter.save();
    painter.translate(offset);
    QRectF client(0, 0, viewSize_.width(), viewSize_.height());
    painter.setClipRect(client, Qt::IntersectClip);
    painter.fillRect(client, BackgroundColor());
    if (stage_ && viewRect_.width() > 0 && viewRect_.height() > 0) {
        // Show the whole view, proportions kept, centred.
        double scale =
            std::min(client.width() / viewRect_.width(), client.height() / viewRect_.height());
        double dx = (client.width() - viewRect_.width() * scale) / 2 - viewRect_.left() * scale;
        double dy = (client.height() - viewRect_.height() * scale) / 2 - viewRect_.top() * scale;
        QTransform toDevice(scale, 0, 0, scale, dx + offset.x(), dy + offset.y());
        painter.resetTransform();
        stage_->Render(painter, toDevice, highQuality_);
    }
    painter.restore();
}

void SwfPlayer::Paint(QImage& target, QPoint offset) const {
    if (target.isNull())
        return;
    QPainter painter(&target);
    Paint(painter, offset);
}

QImage SwfPlayer::Picture() const {
    QImage image(viewSize_.isEmpty() ? QSize(1, 1) : viewSize_,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(BackgroundColor());
    Paint(image, {});
    return image;
}

int SwfPlayer::AddFrameListener(SwfFrameListener listener) {
    int id = nextListenerId_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void SwfPlayer::RemoveFrameListener(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

} // namespace omm::swf
