// The module runs measured along a clock track, cleaned and smoothed before
// the module boundary lines are laid across the symbol.
#pragma once

// A light first run of at most 2 pixels is a sliver of quiet zone caught
// before the first clock module: it is removed and the runs move down.
void dropLeadingSliver(int* runLength, int* runDark, int& runCount);

// Replaces the measured lengths by a least-squares straight-line model of
// length against run index (perspective makes modules grow or shrink
// linearly along a side), keeping the rounded running sums on the model.
// Needs runCount >= 2.
void smoothRunLengths(int* runLength, int runCount);
