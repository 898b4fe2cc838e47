#pragma once
// Helpers shared by the player tests: loading a written movie and reading pixels.

#include "platform/swf/SwfMovie.h"
#include "platform/swf/SwfPlayer.h"
#include "swf/SwfTestWriter.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>

namespace omm::swftest {

inline std::shared_ptr<const swf::SwfMovie>
Load(const SwfTestWriter& writer, SwfTestWriter::Compression c = SwfTestWriter::Compression::None) {
    std::string error;
    auto movie = swf::SwfMovie::FromBytes(writer.Bytes(c), "test.swf", error);
    EXPECT_TRUE(movie) << error;
    return movie;
}

// A player holding the movie, stopped on frame 0 unless autoPlay.
inline void Open(swf::SwfPlayer& player, const SwfTestWriter& writer, bool autoPlay = false) {
    player.SetAutoPlay(autoPlay);
    player.SetMovieData(Load(writer), "test.swf");
}

inline bool Near(QColor a, QColor b, int tolerance = 12) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

#define EXPECT_PIXEL(image, x, y, expected)                                                        \
    do {                                                                                           \
        QColor actual_ = (image).pixelColor((x), (y));                                             \
        EXPECT_TRUE(::omm::swftest::Near(actual_, (expected)))                                     \
            << "pixel (" << (x) << "," << (y) << ") is " << actual_.name().toStdString()           \
            << ", expected " << QColor(expected).name().toStdString();                             \
    } while (0)

constexpr uint32_t Red = 0xFF0000FF, Green = 0x00FF00FF, Blue = 0x0000FFFF, Black = 0x000000FF;

} // namespace omm::swftest
