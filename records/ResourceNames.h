#pragma once

#include <QString>

// Every named picture of the application, with its resource id and the picture that masks it.
// The pictures are PNG files in resources/ (drawn by tools/DrawResources), compiled in under
// the prefix ":/pictures/"; each is found by its name.
namespace ResourceNames {

struct PictureResource {
    const char* name;
    int id;
    const char* mask; // the picture drawn into this one's mask; null for a picture without one
};

inline constexpr char USPassportMask[] = "USPassportMask";
inline constexpr char UKPassportMask[] = "UKPassportMask";
inline constexpr char DeleteIcon[] = "DeleteIcon";
inline constexpr char DeleteMask[] = "DeleteMask";
inline constexpr char NewPhotoIcon[] = "NewPhotoIcon";
inline constexpr char NewPhotoMask[] = "NewPhotoMask";
inline constexpr char SaveIcon[] = "SaveIcon";
inline constexpr char SaveMask[] = "SaveMask";
inline constexpr char PrintIcon[] = "PrintIcon";
inline constexpr char PrintMask[] = "PrintMask";
inline constexpr char EditPhotoIcon[] = "EditPhotoIcon";
inline constexpr char EditPhotoMask[] = "EditPhotoMask";
inline constexpr char ApplicationIcon[] = "ApplicationIcon";
inline constexpr char ApplicationMask[] = "ApplicationMask";
inline constexpr char RotateRightIcon[] = "RotateRightIcon";
inline constexpr char RotateRightMask[] = "RotateRightMask";
inline constexpr char RotateLeftIcon[] = "RotateLeftIcon";
inline constexpr char RotateLeftMask[] = "RotateLeftMask";
inline constexpr char back[] = "back";
inline constexpr char backMask[] = "backMask";
inline constexpr char download[] = "download";
inline constexpr char downloadMask[] = "downloadMask";
inline constexpr char forward[] = "forward";
inline constexpr char forwardMask[] = "forwardMask";
inline constexpr char upload[] = "upload";
inline constexpr char uploadMask[] = "uploadMask";
inline constexpr char zoom_in[] = "zoom_in";
inline constexpr char zoom_inMask[] = "zoom_inMask";
inline constexpr char zoom_out[] = "zoom_out";
inline constexpr char zoom_outMask[] = "zoom_outMask";
inline constexpr char BlueHighlight[] = "BlueHighlight";
inline constexpr char GrayHighlight[] = "GrayHighlight";

// All 32, in resource id order (168 to 199).
inline constexpr PictureResource AllPictures[] = {
    {USPassportMask, 168, nullptr},   {UKPassportMask, 169, nullptr},
    {DeleteIcon, 170, DeleteMask},    {DeleteMask, 171, nullptr},
    {NewPhotoIcon, 172, NewPhotoMask}, {NewPhotoMask, 173, nullptr},
    {SaveIcon, 174, SaveMask},        {SaveMask, 175, nullptr},
    {PrintIcon, 176, PrintMask},      {PrintMask, 177, nullptr},
    {EditPhotoIcon, 178, EditPhotoMask}, {EditPhotoMask, 179, nullptr},
    {ApplicationIcon, 180, ApplicationMask}, {ApplicationMask, 181, nullptr},
    {RotateRightIcon, 182, RotateRightMask}, {RotateRightMask, 183, nullptr},
    {RotateLeftIcon, 184, RotateLeftMask}, {RotateLeftMask, 185, nullptr},
    {back, 186, backMask},            {backMask, 187, nullptr},
    {download, 188, downloadMask},    {downloadMask, 189, nullptr},
    {forward, 190, forwardMask},      {forwardMask, 191, nullptr},
    {upload, 192, uploadMask},        {uploadMask, 193, nullptr},
    {zoom_in, 194, zoom_inMask},      {zoom_inMask, 195, nullptr},
    {zoom_out, 196, zoom_outMask},    {zoom_outMask, 197, nullptr},
    {BlueHighlight, 198, nullptr},    {GrayHighlight, 199, nullptr},
};

// The file name of a picture in resources/.
inline QString FileName(const char* name) {
    return QString::fromLatin1(name) + QStringLiteral(".png");
}

// Where the compiled-in picture is found.
inline QString ResourcePath(const char* name) {
    return QStringLiteral(":/pictures/") + FileName(name);
}

} // namespace ResourceNames
