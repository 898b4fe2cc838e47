// omm decode FILE -o DIR: every frame of a device video as a PNG picture, as the device
// would show it, named so that the files sort in frame order.

#include "CommandRegistry.h"
#include "container/uVideoDecode.h"

#include <QDir>
#include <QImage>
#include <QSaveFile>
#include <QString>
#include <cstring>
#include <iostream>

namespace omm::cli {
namespace {

QImage ToImage(const TBitmap& picture) {
    TBitmap bgr = picture;
    bgr.ConvertTo24();
    QImage image(bgr.Width(), bgr.Height(), QImage::Format_BGR888);
    for (int y = 0; y < bgr.Height(); ++y)
        std::memcpy(image.scanLine(y), bgr.ScanLine(y), size_t(bgr.RowStride()));
    return image;
}

void SavePng(const QImage& image, const QString& path) {
    // Through a temporary name: an interrupted run never leaves a damaged picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        throw std::runtime_error(path.toStdString() + ": cannot write the picture (" +
                                 file.errorString().toStdString() + ")");
}

int runDecode(const std::vector<std::string>& args) {
    std::string input, folder;
    for (size_t i = 0; i < args.size();) {
        std::string value;
        if (takeOption(args, i, "-o", value) || takeOption(args, i, "--output", value)) {
            folder = value;
            continue;
        }
        if (!args[i].empty() && args[i][0] == '-')
            return usageError("decode: unknown option '" + args[i] + "'");
        if (!input.empty())
            return usageError("decode takes one device video file");
        input = args[i++];
    }
    if (input.empty() || folder.empty())
        return usageError("usage: omm decode FILE -o DIR");
    try {
        const TVideoFile file = TVideoDecode::Open(input);
        QDir dir(QString::fromStdString(folder));
        if (!dir.exists() && !QDir().mkpath(dir.path()))
            throw std::runtime_error(folder + ": cannot create the folder");
        const int digits = std::max<int>(6, int(std::to_string(file.Records.size()).size()));
        TVideoDecode::DecodeFrames(file, [&](size_t index, const TBitmap& picture) {
            const QString name = QString("%1.png").arg(qulonglong(index), digits, 10, QChar('0'));
            SavePng(ToImage(picture), dir.filePath(name));
        });
        std::cout << file.Records.size() << " frames of " << file.Head.Width << " x "
                  << file.Head.Height << " written to " << folder << "\n";
    } catch (const std::exception& e) {
        std::cerr << "omm: " << e.what() << "\n";
        return ExitFailed;
    }
    return ExitOk;
}

const OmmCommand command({"decode",
                          "decode FILE -o DIR   write every frame of a device video "
                          "as a PNG picture",
                          runDecode});

} // namespace
} // namespace omm::cli
