#include "shell/about_lines.h"

#include "shell/results_text.h"

const char* const kAboutLines[kAboutLineCount] = {
    "Tessaread",
    "Version 1.000",
    "Copyright (c) 2026 Tessaread developers",
};

void prependAboutLines(void (*refresh)(int limit)) {
    for (const char* line : kAboutLines) {
        prependResultLine(line);
        if (refresh != nullptr) {
            refresh(kResultsBoxLimit);
        }
    }
}
