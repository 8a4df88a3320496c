#pragma once

#include <QImage>
#include <QString>

class PassportPhotoInfo;

// The photos the fault harnesses save. Each is numbered (its "sequence"): the number is in the
// name and in the first pixel of every picture, so a test can tell which save a stored row, a
// stored picture or a file came from.
namespace FaultPhotos {

inline constexpr int kSourceWidth = 160;
inline constexpr int kSourceHeight = 120;
inline constexpr int kPassportSize = 96;
inline constexpr int kPreviewSize = 64;

QString NameOf(int seq); // "photo <seq>"
// The sequence in a name made by NameOf, or -1.
int SeqOfName(const QString& name);
// The sequence in a picture's first pixel.
int SeqOfPicture(const QImage& pic);

// Fills `record` with the name and pictures of photo `seq`; its row id is left alone.
void Fill(PassportPhotoInfo& record, int seq, QSize source = QSize(kSourceWidth, kSourceHeight));

// True when `bytes` are a whole PNG file (ends with its IEND chunk) that decodes.
bool IsWholePng(const QByteArray& bytes, QImage* decoded = nullptr);

} // namespace FaultPhotos
