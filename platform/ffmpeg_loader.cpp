// FFmpeg (libavformat, libavcodec, libavutil, libswscale, libswresample), loaded when a program
// first opens a video: linked in, the five and the codec libraries under them were mapped at
// every start. The entry points the video layer calls are defined here and forwarded.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <string>
#include <vector>

#include "platform/lazy_library.h"

#define QV_STRINGIFY(x) QV_STRINGIFY_(x)
#define QV_STRINGIFY_(x) #x

// Each library by the soname of the major version the headers describe: another major version
// has another ABI, so it is refused rather than called.
#define QV_SONAME(library, major) "lib" library ".so." QV_STRINGIFY(major)
static void* Open(const char* soname) { return OpenLazyLibrary(soname); }
static void* Avutil() {
  static void* const handle = Open(QV_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR));
  return handle;
}
static void* Avcodec() {
  static void* const handle = Open(QV_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR));
  return handle;
}
static void* Avformat() {
  static void* const handle = Open(QV_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR));
  return handle;
}
static void* Swscale() {
  static void* const handle = Open(QV_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR));
  return handle;
}
static void* Swresample() {
  static void* const handle = Open(QV_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR));
  return handle;
}

// What a game that plays video carries (platform/carried.cpp): libavformat first, as the
// others are in its closure.
std::vector<std::string> FfmpegLibraryNames() {
  return {QV_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR), QV_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR),
          QV_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR), QV_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR),
          QV_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR)};
}

// Without the library every entry answers as the library does when it cannot do the work
// (an error code or null), so opening a video fails with a message instead of the run.
#define Library Avformat
AVFormatContext* avformat_alloc_context() { QV_FORWARD(avformat_alloc_context, nullptr); }
int avformat_open_input(AVFormatContext** context, const char* url, const AVInputFormat* format,
                        AVDictionary** options) {
  QV_FORWARD(avformat_open_input, AVERROR(ENOSYS), context, url, format, options);
}
int avformat_find_stream_info(AVFormatContext* context, AVDictionary** options) {
  QV_FORWARD(avformat_find_stream_info, AVERROR(ENOSYS), context, options);
}
int av_find_best_stream(AVFormatContext* context, enum AVMediaType type, int wanted, int related,
                        const AVCodec** decoder, int flags) {
  QV_FORWARD(av_find_best_stream, AVERROR_STREAM_NOT_FOUND, context, type, wanted, related, decoder, flags);
}
int av_read_frame(AVFormatContext* context, AVPacket* packet) {
  QV_FORWARD(av_read_frame, AVERROR_EOF, context, packet);
}
int av_seek_frame(AVFormatContext* context, int stream, int64_t timestamp, int flags) {
  QV_FORWARD(av_seek_frame, AVERROR(ENOSYS), context, stream, timestamp, flags);
}
void avformat_close_input(AVFormatContext** context) { QV_FORWARD(avformat_close_input, void(), context); }
#undef Library

#define Library Avcodec
const AVCodec* avcodec_find_decoder(enum AVCodecID id) { QV_FORWARD(avcodec_find_decoder, nullptr, id); }
AVCodecContext* avcodec_alloc_context3(const AVCodec* codec) { QV_FORWARD(avcodec_alloc_context3, nullptr, codec); }
int avcodec_parameters_to_context(AVCodecContext* codec, const AVCodecParameters* parameters) {
  QV_FORWARD(avcodec_parameters_to_context, AVERROR(ENOSYS), codec, parameters);
}
int avcodec_open2(AVCodecContext* context, const AVCodec* codec, AVDictionary** options) {
  QV_FORWARD(avcodec_open2, AVERROR(ENOSYS), context, codec, options);
}
int avcodec_send_packet(AVCodecContext* context, const AVPacket* packet) {
  QV_FORWARD(avcodec_send_packet, AVERROR(ENOSYS), context, packet);
}
int avcodec_receive_frame(AVCodecContext* context, AVFrame* frame) {
  QV_FORWARD(avcodec_receive_frame, AVERROR_EOF, context, frame);
}
void avcodec_flush_buffers(AVCodecContext* context) { QV_FORWARD(avcodec_flush_buffers, void(), context); }
void avcodec_free_context(AVCodecContext** context) { QV_FORWARD(avcodec_free_context, void(), context); }
AVPacket* av_packet_alloc() { QV_FORWARD(av_packet_alloc, nullptr); }
void av_packet_free(AVPacket** packet) { QV_FORWARD(av_packet_free, void(), packet); }
void av_packet_unref(AVPacket* packet) { QV_FORWARD(av_packet_unref, void(), packet); }
void av_packet_move_ref(AVPacket* to, AVPacket* from) { QV_FORWARD(av_packet_move_ref, void(), to, from); }
#undef Library

#define Library Avutil
AVFrame* av_frame_alloc() { QV_FORWARD(av_frame_alloc, nullptr); }
void av_frame_free(AVFrame** frame) { QV_FORWARD(av_frame_free, void(), frame); }
void av_frame_unref(AVFrame* frame) { QV_FORWARD(av_frame_unref, void(), frame); }
void av_log_set_level(int level) { QV_FORWARD(av_log_set_level, void(), level); }
void av_channel_layout_default(AVChannelLayout* layout, int channels) {
  QV_FORWARD(av_channel_layout_default, void(), layout, channels);
}
void av_channel_layout_uninit(AVChannelLayout* layout) { QV_FORWARD(av_channel_layout_uninit, void(), layout); }
int av_channel_layout_copy(AVChannelLayout* to, const AVChannelLayout* from) {
  QV_FORWARD(av_channel_layout_copy, AVERROR(ENOSYS), to, from);
}
int av_dict_set(AVDictionary** dictionary, const char* key, const char* value, int flags) {
  QV_FORWARD(av_dict_set, AVERROR(ENOSYS), dictionary, key, value, flags);
}
void av_dict_free(AVDictionary** dictionary) { QV_FORWARD(av_dict_free, void(), dictionary); }
#undef Library

#define Library Swscale
SwsContext* sws_getCachedContext(SwsContext* context, int sourceWidth, int sourceHeight, enum AVPixelFormat sourceFormat,
                                 int width, int height, enum AVPixelFormat format, int flags, SwsFilter* sourceFilter,
                                 SwsFilter* filter, const double* parameters) {
  QV_FORWARD(sws_getCachedContext, nullptr, context, sourceWidth, sourceHeight, sourceFormat, width, height, format,
             flags, sourceFilter, filter, parameters);
}
int sws_scale(SwsContext* context, const uint8_t* const source[], const int sourceStride[], int sliceY,
              int sliceHeight, uint8_t* const destination[], const int destinationStride[]) {
  QV_FORWARD(sws_scale, AVERROR(ENOSYS), context, source, sourceStride, sliceY, sliceHeight, destination,
             destinationStride);
}
void sws_freeContext(SwsContext* context) { QV_FORWARD(sws_freeContext, void(), context); }
#undef Library

#define Library Swresample
int swr_alloc_set_opts2(SwrContext** context, AVChannelLayout* outLayout, enum AVSampleFormat outFormat, int outRate,
                        AVChannelLayout* inLayout, enum AVSampleFormat inFormat, int inRate, int logOffset,
                        void* logContext) {
  QV_FORWARD(swr_alloc_set_opts2, AVERROR(ENOSYS), context, outLayout, outFormat, outRate, inLayout, inFormat, inRate,
             logOffset, logContext);
}
int swr_init(SwrContext* context) { QV_FORWARD(swr_init, AVERROR(ENOSYS), context); }
int swr_convert(SwrContext* context, uint8_t** out, int outCount, const uint8_t** in, int inCount) {
  QV_FORWARD(swr_convert, AVERROR(ENOSYS), context, out, outCount, in, inCount);
}
int swr_get_out_samples(SwrContext* context, int inSamples) {
  QV_FORWARD(swr_get_out_samples, AVERROR(ENOSYS), context, inSamples);
}
void swr_free(SwrContext** context) { QV_FORWARD(swr_free, void(), context); }
#undef Library

#undef QV_FORWARD
