// The three lines that File, About puts at the top of the results text.
#pragma once

constexpr int kAboutLineCount = 3;

// In the order they are put in front, so the last one ends up on top.
extern const char* const kAboutLines[kAboutLineCount];

// Puts each About line in front of the results text and, after each one,
// lets `refresh` show the text (with its conversion limit).
void prependAboutLines(void (*refresh)(int limit));
