// Message boxes: an SDL message box when a display exists, else the caption and text on
// stderr (headless runs and tests).
#pragma once

// Shows caption and text and waits for the user; isError picks the stop icon.
void PlatformShowMessageBox(const char* caption, const char* text, bool isError);
