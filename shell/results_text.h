// The results box's text: result lines newest first, each ended by CR LF,
// trimmed from the oldest end as it nears 30,000 characters.
#pragma once

#include <cstddef>

constexpr size_t kResultsTextCapacity = 80000;

// Largest number of characters a refresh of the results box shows.
constexpr int kResultsBoxLimit = 29998;

// The text, NUL-terminated, in the ANSI code page.
extern char ResultsText[kResultsTextCapacity];

// Puts line (without line end) and CR LF in front of the text, first
// cutting the oldest lines away so that the text stays near its bound.
// Returns 0.
int prependResultLine(const char* line);

// Empties the text.
void clearResultsText();

// Characters put in front of the text since the last call: the box moves
// a person's selection and view by them, so that both stay on the same
// text.
size_t takePrependedLength();
