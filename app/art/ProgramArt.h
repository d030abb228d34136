#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QPoint>
#include <optional>

/// The program's own pictures, drawn in code: the icon, the hover pointer and the drag
/// picture. The build writes the files beside the program from the same drawings.
namespace ProgramArt {

/// The program icon at size x size pixels.
QImage IconImage(int size);
/// The hover pointer: a hand whose index finger points up; its hotspot is the fingertip.
QImage HandPointerImage();
inline constexpr QPoint kHandHotspot{13, 1};
/// The picture the file list shows while a row is dragged: a row between up and down arrows.
QImage DragImage();

/// An .ico file (hotspot none) or a .cur file (hotspot given) holding one 32-bit image.
QByteArray IconFile(const QImage& image, std::optional<QPoint> hotspot = std::nullopt);
/// The hotspot stored in a .cur file; (0, 0) for anything else.
QPoint CursorHotspot(const QByteArray& file);

/// The window's icon in the sizes desktops ask for.
QIcon ProgramIcon();

}  // namespace ProgramArt
