// Geometry, fonts and icons that the Qt backend derives from layout tables.
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QStringList>

#include "ui/layout.h"

namespace qm::qt {

// The logical dots per inch of the primary screen; 96 when there is no screen.
double screenDpi();

// A control row's rectangle in pixels of the window's client area.
QRect rowRect(const ControlRow& row, double dpi);

// The font families asked for, best first: the layout's face, then Japanese fallbacks.
QStringList japaneseFamilies();

// The window's default font (9 pt in the Japanese families).
QFont defaultWindowFont();

// A layout font; points == 0 gives the window's default font.
QFont layoutFont(const Font& font);

// The window icon from the embedded resources.
QIcon windowIcon(WindowIcon icon);

// Pixels to twips at the given dpi, as mouse positions are reported.
float pixelsToTwips(int pixels, double dpi);

}  // namespace qm::qt
