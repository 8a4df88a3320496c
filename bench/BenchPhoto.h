#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Deterministic stand-ins for camera photos, so codecs and filters do the work they do on real
// pictures: a lit backdrop with gradients, a shaded and textured subject, and sensor noise.
namespace BenchPhoto {

inline constexpr int kCameraWidth = 6000;
inline constexpr int kCameraHeight = 4000;

// A width x height plain picture; the same seed always gives the same pixels.
QImage Photo(int width, int height, quint32 seed = 1);

// JPEG file bytes of `pic` at `quality`.
QByteArray Jpeg(const QImage& pic, int quality = 90);

// The 6000 x 4000 photo as the program gets it from a file: Photo() passed through JPEG at
// quality 90, decoded to a plain picture. Made once.
const QImage& CameraPhoto();

// That photo's JPEG file, written once into a temporary folder that lasts as long as the process.
const QString& CameraJpegFile();

// That photo in vips's own uncompressed format, made once with the vips tool.
const QString& CameraVipsFile();

// A scratch folder for the whole run (removed at exit).
QString ScratchFolder();

} // namespace BenchPhoto
