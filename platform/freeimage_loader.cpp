// FreeImage, and the libtiff under it, loaded when the first TIFF or PSD file is read: linked
// in, the library and its plug-ins' 26 libraries were mapped and relocated at every start.
#include <FreeImage.h>
#include <tiffio.h>

#include "platform/lazy_library.h"

// The entry points the image loaders call are defined here with the library's signatures
// and forwarded to it. Without the library each answers as the library does on failure (no
// memory block, no picture), so the loaders report an unreadable file.
static void* Library() {
  static void* const handle = OpenLazyLibrary("libfreeimage.so.3");
  return handle;
}

void DLL_CALLCONV FreeImage_Initialise(BOOL loadLocalPluginsOnly) {
  QV_FORWARD(FreeImage_Initialise, void(), loadLocalPluginsOnly);
}
void DLL_CALLCONV FreeImage_SetOutputMessage(FreeImage_OutputMessageFunction function) {
  QV_FORWARD(FreeImage_SetOutputMessage, void(), function);
}
FIMEMORY* DLL_CALLCONV FreeImage_OpenMemory(BYTE* data, DWORD size) {
  QV_FORWARD(FreeImage_OpenMemory, nullptr, data, size);
}
void DLL_CALLCONV FreeImage_CloseMemory(FIMEMORY* stream) { QV_FORWARD(FreeImage_CloseMemory, void(), stream); }
BOOL DLL_CALLCONV FreeImage_SeekMemory(FIMEMORY* stream, long offset, int origin) {
  QV_FORWARD(FreeImage_SeekMemory, FALSE, stream, offset, origin);
}
FIBITMAP* DLL_CALLCONV FreeImage_LoadFromMemory(FREE_IMAGE_FORMAT format, FIMEMORY* stream, int flags) {
  QV_FORWARD(FreeImage_LoadFromMemory, nullptr, format, stream, flags);
}
void DLL_CALLCONV FreeImage_Unload(FIBITMAP* bitmap) { QV_FORWARD(FreeImage_Unload, void(), bitmap); }
unsigned DLL_CALLCONV FreeImage_GetWidth(FIBITMAP* bitmap) { QV_FORWARD(FreeImage_GetWidth, 0u, bitmap); }
unsigned DLL_CALLCONV FreeImage_GetHeight(FIBITMAP* bitmap) { QV_FORWARD(FreeImage_GetHeight, 0u, bitmap); }
FIBITMAP* DLL_CALLCONV FreeImage_ConvertTo32Bits(FIBITMAP* bitmap) {
  QV_FORWARD(FreeImage_ConvertTo32Bits, nullptr, bitmap);
}
BYTE* DLL_CALLCONV FreeImage_GetScanLine(FIBITMAP* bitmap, int scanline) {
  QV_FORWARD(FreeImage_GetScanLine, nullptr, bitmap, scanline);
}
TIFFErrorHandler TIFFSetWarningHandler(TIFFErrorHandler handler) {
  QV_FORWARD(TIFFSetWarningHandler, nullptr, handler);
}
TIFFErrorHandler TIFFSetErrorHandler(TIFFErrorHandler handler) { QV_FORWARD(TIFFSetErrorHandler, nullptr, handler); }

#undef QV_FORWARD
