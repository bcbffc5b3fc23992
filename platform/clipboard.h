// The text clipboard: the program's 8-bit texts (each byte one Latin-1 character) put on and
// read from the desktop's clipboard, which holds UTF-8.
#pragma once
#include <string>

// Puts the text on the clipboard (the empty text too); false when there is no clipboard.
bool PlatformSetClipboardText(const char* text);
// The clipboard's text in *text ("" when it holds none); characters beyond Latin-1 read as
// "?". False, *text unchanged, when there is no clipboard.
bool PlatformGetClipboardText(std::string* text);
