#pragma once
// A table of the table generator drawn as a coloured grid: the heading on
// top, the x breakpoints above the columns, the y breakpoints beside the
// rows (the first at the top, as the CSV lists them), every cell with a
// value filled with its colour on the viridis map (the smallest value dark
// violet, the largest yellow) and its value written in it, cells without a
// value left white, and the colour scale on the right.

#include "graph/draw/GraphPicture.h"

#include <QColor>
#include <QSize>

#include <string>

class QPainter;

namespace quillmar {

struct TableGrid;

struct GridPictureText {
    std::string Heading; // "Spark advance (mean) by Manifold press (abs). / Engine speed"
    std::string XLabel;  // "Engine speed (RPM)"
    std::string YLabel;  // "Manifold press (abs). (bar)"
};

// The colour of t (0..1, clamped) on the viridis map.
QColor ViridisColor(double t);

// The text of a cell's value: counts whole, other values with as many
// decimals as the largest magnitude in the grid leaves room for (3 below
// 1, 2 below 10, 1 below 100, none from 100 on).
std::string GridCellText(const TableGrid& grid, double value);

// A size that gives every cell room for its text.
QSize GridPictureSize(const TableGrid& grid, const GridPictureText& text);

// Draws the grid over the whole of size on painter. False when the grid has
// no cell with a value (the frame and labels are drawn all the same).
bool DrawTableGrid(QPainter& painter, QSize size, const TableGrid& grid, const GridPictureText& text);

// The picture file (see PaintedPictureBytes); empty when it cannot be made.
QByteArray GridPictureBytes(const TableGrid& grid, const GridPictureText& text, TPictureFormat format,
                            QSize size);

} // namespace quillmar
