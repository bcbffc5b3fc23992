// JPEG through libjpeg: decompress from memory to RGB, compress RGB to memory with a quality.
// libjpeg reports fatal errors by longjmp; the functions keep only plain data across setjmp.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include "graphics2d/image_local.h"
#include "platform/surface.h"

struct JpegErrorTrap {
  jpeg_error_mgr manager;  // first, so the library's pointer is also ours
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

static void JpegFatal(j_common_ptr info) {
  JpegErrorTrap* trap = reinterpret_cast<JpegErrorTrap*>(info->err);
  info->err->format_message(info, trap->message);
  longjmp(trap->jump, 1);
}

static void JpegQuiet(j_common_ptr, int) {}  // warnings about odd but readable files are ignored

// Decodes into the surface made once the header is read; returns the surface or null.
static Surface* DecodeJpeg(jpeg_decompress_struct* info, const uint8_t* data, size_t size, std::string* whyNot,
                           Surface** made) {
  jpeg_mem_src(info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(info, TRUE) != JPEG_HEADER_OK) return ImageFail(whyNot, "bad JPEG header");
  info->out_color_space = JCS_RGB;
  // The declared size is checked against the data before anything of that size is allocated:
  // the library fills a truncated file with grey, and a progressive file first takes all its
  // coefficients. A Huffman-coded scan spends at least one bit on each 8x8 block; arithmetic
  // coding can spend less. Its own working memory is bounded as well.
  jpeg_calc_output_dimensions(info);
  if (!DeclaredSizeFitsData(info->image_width, info->image_height, size, info->arith_code ? 8192 : 512, whyNot) ||
      !LoadSizeAllowed(info->output_width, info->output_height, whyNot))
    return nullptr;
  info->mem->max_memory_to_use = static_cast<long>(kSurfaceMemoryLimit);
  jpeg_start_decompress(info);
  if (info->output_components != 3) return ImageFail(whyNot, "unsupported JPEG colours");
  *made = MakeLoadSurface(info->output_width, info->output_height, whyNot);
  if (*made == nullptr) return nullptr;
  unsigned char* row = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(info->output_width) * 3));
  if (row == nullptr) return ImageFail(whyNot, "out of memory for JPEG");
  // The row buffer is freed by the caller through the trap on an error jump; keep it reachable.
  info->client_data = row;
  while (info->output_scanline < info->output_height) {
    const unsigned y = info->output_scanline;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(info, rows, 1);
    uint32_t* out = (*made)->pixels.data() + static_cast<size_t>(y) * info->output_width;
    for (unsigned x = 0; x < info->output_width; ++x)
      out[x] = (row[x * 3] << 16) | (row[x * 3 + 1] << 8) | row[x * 3 + 2];
  }
  jpeg_finish_decompress(info);
  return *made;
}

Surface* LoadJpeg(const uint8_t* data, size_t size, std::string* whyNot) {
  jpeg_decompress_struct info;
  JpegErrorTrap trap;
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = JpegFatal;
  trap.manager.emit_message = JpegQuiet;
  // Written through its address inside DecodeJpeg, so it lives in memory across the jump.
  Surface* madeSurface = nullptr;
  jpeg_create_decompress(&info);
  info.client_data = nullptr;
  if (setjmp(trap.jump) != 0) {
    std::free(info.client_data);
    jpeg_destroy_decompress(&info);
    SurfaceDestroy(madeSurface);
    return ImageFail(whyNot, std::string("bad JPEG: ") + trap.message);
  }
  Surface* result = DecodeJpeg(&info, data, size, whyNot, &madeSurface);
  std::free(info.client_data);
  jpeg_destroy_decompress(&info);
  if (result == nullptr) SurfaceDestroy(madeSurface);
  return result;
}

bool SaveJpeg(const Surface& surface, int quality, std::vector<uint8_t>& out) {
  jpeg_compress_struct info;
  JpegErrorTrap trap;
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = JpegFatal;
  trap.manager.emit_message = JpegQuiet;
  // Both are written through their addresses, so they live in memory across the jump.
  unsigned char* memory = nullptr;
  unsigned long memoryLength = 0;
  std::vector<unsigned char> row(static_cast<size_t>(surface.width) * 3);
  jpeg_create_compress(&info);
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_compress(&info);
    std::free(memory);
    return false;
  }
  jpeg_mem_dest(&info, &memory, &memoryLength);
  info.image_width = static_cast<JDIMENSION>(surface.width);
  info.image_height = static_cast<JDIMENSION>(surface.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    const uint32_t* in = surface.pixels.data() + static_cast<size_t>(info.next_scanline) * surface.width;
    for (int x = 0; x < surface.width; ++x) {
      row[x * 3] = static_cast<unsigned char>(in[x] >> 16);
      row[x * 3 + 1] = static_cast<unsigned char>(in[x] >> 8);
      row[x * 3 + 2] = static_cast<unsigned char>(in[x]);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  out.assign(memory, memory + memoryLength);
  jpeg_destroy_compress(&info);
  std::free(memory);
  return true;
}
