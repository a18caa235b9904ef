// Paints the symbol's outline and boundary lines, samples one value per
// module into the module grid and writes the optional dumps.
#include "detect/recognizer.h"

static void paintFamily(Recognizer& r, const BoundaryLines& lines, int count)
{
    for (int k = 0; k < count; ++k)
        r.paintLine(lines.line[k], lines.startX[k], lines.startY[k], lines.endX[k],
                    lines.endY[k]);
}

// Red lines mark the outline and the module boundaries in the image dump;
// the cell sampler skips red pixels, so the boundaries also stay out of
// the module votes.
static void paintOutline(Recognizer& r, const SymbolOutline& o)
{
    const double xL = r.extremeX[r.cornerL], yL = r.extremeY[r.cornerL];
    const double xA = r.extremeX[r.cornerA], yA = r.extremeY[r.cornerA];
    const double xB = r.extremeX[r.cornerB], yB = r.extremeY[r.cornerB];
    r.paintLine(o.sideB, xL, yL, xB, yB);
    r.paintLine(o.clock2, xA, yA, o.xD, o.yD);
    paintFamily(r, r.columnLines, r.columnLineCount);
    r.paintLine(o.sideA, xL, yL, xA, yA);
    r.paintLine(o.clock1, xB, yB, o.xD, o.yD);
    paintFamily(r, r.rowLines, r.rowLineCount);
}

// Row 0 lies along the clock side B-D and the last row along the solid side
// L-A; row line 0 is the one next to L-A, so row boundaries count down.
// Column 0 lies along the solid side L-B, next to column line 0.
static void sampleCells(Recognizer& r, const SymbolOutline& o)
{
    for (int i = 0; i < r.gridRows; ++i) {
        const Line top = i == 0 ? o.clock1 : r.rowLines.line[r.rowLineCount - i];
        const Line bottom =
            i == r.gridRows - 1 ? o.sideA : r.rowLines.line[r.rowLineCount - 1 - i];
        for (int j = 0; j < r.gridCols; ++j) {
            const Line left = j == 0 ? o.sideB : r.columnLines.line[j - 1];
            const Line right = j == r.gridCols - 1 ? o.clock2 : r.columnLines.line[j];
            r.grid[i][j] = r.sampleCell(top, left, bottom, right);
        }
    }
}

void Recognizer::sampleGrid(const SymbolOutline& outline, DetectFlags flags,
                            const char* imageFileName, const char* gridFileName)
{
    if (flags & DETECT_PAINT_LINES)
        paintOutline(*this, outline);
    gridRows = rowLineCount + 1;
    gridCols = columnLineCount + 1;
    sampleCells(*this, outline);
    // A dump that cannot be written is skipped; the grid stands.
    if (flags & DETECT_WRITE_GRID)
        (void)writeGridText(gridFileName);
    if (flags & DETECT_WRITE_IMAGE)
        (void)writeImageBmp(imageFileName);
}
