// libFuzzer target: any bytes as a Flash movie, read, run for a few ticks (actions,
// sprites, jumps) and drawn at two sizes. It must never crash, hang or run away with
// memory, whatever the bytes say.

#include "platform/swf/SwfMovie.h"
#include "platform/swf/SwfStage.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdint>
#include <cstdlib>

namespace {

// Tighter limits than the player's own, so a single input stays quick.
omm::swf::SwfLimits FuzzLimits() {
    omm::swf::SwfLimits limits;
    limits.maxDecompressedBytes = 16u << 20;
    limits.maxFrames = 4096;
    limits.maxTags = 1u << 16;
    return limits;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // Device-font texts need a GUI application; the offscreen platform needs no display.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QGuiApplication app(*argc, *argv);
    omm::swf::SwfStage::SetDrawInPool(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    auto movie = omm::swf::SwfMovie::FromBytes(std::vector<uint8_t>(data, data + size), "fuzz.swf",
                                               error, FuzzLimits());
    if (!movie)
        return 0;
    omm::swf::SwfStage stage(movie);
    stage.Start();
    QImage small(64, 48, QImage::Format_ARGB32_Premultiplied);
    QImage large(200, 150, QImage::Format_ARGB32_Premultiplied);
    const auto& s = movie->Header().stage;
    for (int tick = 0; tick < 4; ++tick) {
        for (QImage* target : {&small, &large}) {
            target->fill(Qt::white);
            QPainter painter(target);
            double scale = std::min(target->width() / double(s.Width()),
                                    target->height() / double(s.Height()));
            stage.Render(painter, QTransform(scale, 0, 0, scale, -s.xMin * scale, -s.yMin * scale),
                         tick % 2 == 0);
        }
        stage.Tick(true);
        (void)stage.TakeEvents();
        if (tick == 2)
            stage.GotoFrame(0);
    }
    return 0;
}
