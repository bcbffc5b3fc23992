// Message boxes: the caption and text on stderr, and a box of our own as well when a display
// exists (headless runs and tests have only the line).
#pragma once

// Shows caption and text and waits for the user; isError picks the stop icon. The text goes
// to stderr too, unless the caller has said it there already (toStderr false) and a box shows.
void PlatformShowMessageBox(const char* caption, const char* text, bool isError, bool toStderr = true);
