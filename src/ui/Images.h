// The program's own pictures, drawn at run time: the product emblem, the 24 x 24 button glyphs and
// the four 64 x 64 shields of the message dialog. Each call draws a fresh pixmap (transparent
// background). They need the QGuiApplication; they cannot fail otherwise.
#pragma once

#include <QPixmap>

namespace tv::ui {

// A stylised blue/green "update" emblem (two chasing arrows around a disc); 48 and 64 are the
// sizes the windows use, any size from 16 up works.
QPixmap ProductImage(int size);

inline constexpr int kGlyphSize = 24;
QPixmap GlyphDiskette(int size = kGlyphSize);
QPixmap GlyphBlueCross(int size = kGlyphSize);
QPixmap GlyphBlueCheck(int size = kGlyphSize);
QPixmap GlyphProhibition(int size = kGlyphSize);

// The dialog-type shields: 0 green with a white check, 1 red with a white cross, 2 blue with a
// white question mark, 3 orange with a white exclamation mark. Any other type draws type 1.
inline constexpr int kShieldSize = 64;
QPixmap ShieldImage(int dlgType, int size = kShieldSize);

}  // namespace tv::ui
