// Video files over FFmpeg: the container read packet by packet on the caller's thread, the
// picture decoded when the clock reaches it and scaled into a surface, the sound track
// resampled into a queue the sound library's feeder empties.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/carried.h"
#include "platform/clock.h"
#include "platform/signals.h"
#include "platform/surface.h"
#include "platform/video.h"


namespace {

constexpr int kSoundRate = 44100;
constexpr size_t kSoundQueueLimit = kSoundRate * 2 * 4;  // four seconds of stereo samples
constexpr int kLargestSide = 16384;                       // as the largest surface
constexpr size_t kSoundAhead = kSoundRate * 2 / 2;        // half a second decoded ahead of the picture
constexpr size_t kPicturePacketsAhead = 256;              // picture packets read past to reach it
constexpr int kLargestSoundRate = 768000;                 // of a sound track; damaged files claim billions
constexpr size_t kScaledAlign = 64;                       // of the scaler's rows, as FFmpeg's own frames
constexpr size_t kScaledRowSpare = 128;                   // bytes the scaler may write past a row

uint32_t (*gClock)() = nullptr;
uint32_t Now() { return gClock != nullptr ? gClock() : PlatformMilliseconds(); }

// Containers a video may come in. The others include playlists and concatenation lists that
// open further files or addresses named inside them, which a game's video must never do.
constexpr const char* kContainers = "avi,asf,mov,matroska,mpeg,mpegts";

}  // namespace

struct VideoFile {
  AVFormatContext* format = nullptr;
  AVCodecContext* picture = nullptr;
  AVCodecContext* sound = nullptr;
  int pictureIndex = -1, soundIndex = -1;
  double pictureBase = 0;     // seconds per timestamp unit of the picture stream
  int64_t startStamp = 0;     // the first frame's timestamp
  int width = 0, height = 0;
  SwsContext* scaler = nullptr;
  std::vector<uint8_t> scaled;  // the scaler's rows, padded (see DrawFrame)
  SwrContext* resampler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* next = nullptr;    // decoded, not yet due
  AVFrame* shown = nullptr;   // scratch for the frame being drawn
  AVFrame* soundFrame = nullptr;
  bool nextReady = false;     // `next` holds a frame
  bool demuxEnded = false;    // the container has no more packets (the decoder is being drained)
  bool pictureEnded = false;  // the decoder has no more frames
  // The clock: milliseconds of video time, standing or running from runStart.
  bool running = false;
  uint32_t runStart = 0;
  uint32_t standing = 0;
  int lastShownMs = -1;
  int frameMs = 100;          // the last frame's duration, from the frame rate or the last gap
  bool soundWanted = false;
  std::mutex soundLock;       // guards soundQueue (the feeder reads it)
  std::deque<int16_t> soundQueue;
  std::deque<AVPacket*> picturePackets;  // read ahead while filling the sound, not yet decoded
};

namespace {

uint32_t Elapsed(const VideoFile& v) { return v.standing + (v.running ? Now() - v.runStart : 0); }

int FrameMs(const VideoFile& v, const AVFrame& frame) {
  int64_t stamp = frame.best_effort_timestamp;
  if (stamp == AV_NOPTS_VALUE) return v.lastShownMs < 0 ? 0 : v.lastShownMs + v.frameMs;
  const double ms = static_cast<double>(stamp - v.startStamp) * v.pictureBase * 1000.0;
  return ms < 0 ? 0 : ms > 2e9 ? 2000000000 : static_cast<int>(ms);
}

void QueueSound(VideoFile& v, const uint8_t* const* data, int samples) {
  if (v.resampler == nullptr || samples <= 0) return;
  const int room = swr_get_out_samples(v.resampler, samples);
  if (room <= 0) return;
  std::vector<int16_t> converted(static_cast<size_t>(room) * 2);
  uint8_t* out[1] = {reinterpret_cast<uint8_t*>(converted.data())};
  const int made = swr_convert(v.resampler, out, room, const_cast<const uint8_t**>(data), samples);
  if (made <= 0) return;
  std::lock_guard<std::mutex> hold(v.soundLock);
  v.soundQueue.insert(v.soundQueue.end(), converted.begin(), converted.begin() + made * 2);
  if (v.soundQueue.size() > kSoundQueueLimit)  // nobody listens fast enough: keep the newest
    v.soundQueue.erase(v.soundQueue.begin(), v.soundQueue.begin() + (v.soundQueue.size() - kSoundQueueLimit));
}

void DecodeSoundPacket(VideoFile& v, const AVPacket* packet) {
  if (avcodec_send_packet(v.sound, packet) < 0) return;  // a damaged packet is skipped
  while (avcodec_receive_frame(v.sound, v.soundFrame) == 0) {
    QueueSound(v, v.soundFrame->extended_data, v.soundFrame->nb_samples);
    av_frame_unref(v.soundFrame);
  }
}

// The next picture into v.next; false at the end of the video (or at a fault that ends it).
bool DecodePicture(VideoFile& v) {
  for (;;) {
    const int received = avcodec_receive_frame(v.picture, v.next);
    if (received == 0) return true;
    if (received != AVERROR(EAGAIN)) return false;
    if (!v.picturePackets.empty()) {
      AVPacket* packet = v.picturePackets.front();
      v.picturePackets.pop_front();
      avcodec_send_packet(v.picture, packet);
      av_packet_free(&packet);
      continue;
    }
    if (v.demuxEnded) return false;
    if (av_read_frame(v.format, v.packet) < 0) {
      v.demuxEnded = true;
      avcodec_send_packet(v.picture, nullptr);  // drain the frames the decoder holds back
      continue;
    }
    if (v.packet->stream_index == v.pictureIndex)
      avcodec_send_packet(v.picture, v.packet);  // a damaged packet is skipped
    else if (v.packet->stream_index == v.soundIndex && v.soundWanted)
      DecodeSoundPacket(v, v.packet);
    av_packet_unref(v.packet);
  }
}

size_t QueuedSound(VideoFile& v) {
  std::lock_guard<std::mutex> hold(v.soundLock);
  return v.soundQueue.size();
}

// The sound is decoded ahead of the picture, so the feeder, which fills a tenth of a second
// ahead of what plays, finds it there: packets are read until half a second of sound is
// queued, and the picture's packets met on the way wait for their turn.
void FillSoundAhead(VideoFile& v) {
  while (v.soundWanted && !v.demuxEnded && v.picturePackets.size() < kPicturePacketsAhead &&
         QueuedSound(v) < kSoundAhead) {
    if (av_read_frame(v.format, v.packet) < 0) {
      v.demuxEnded = true;
      // The decoder is drained once the waiting picture packets have gone in.
      v.picturePackets.push_back(nullptr);
      break;
    }
    if (v.packet->stream_index == v.pictureIndex) {
      AVPacket* kept = av_packet_alloc();
      if (kept == nullptr) break;
      av_packet_move_ref(kept, v.packet);
      v.picturePackets.push_back(kept);
    } else if (v.packet->stream_index == v.soundIndex) {
      DecodeSoundPacket(v, v.packet);
    }
    av_packet_unref(v.packet);
  }
}

void DropPicturePackets(VideoFile& v) {
  for (AVPacket* packet : v.picturePackets) av_packet_free(&packet);
  v.picturePackets.clear();
}

// The scaler's vector code writes whole blocks of pixels, so a row whose width is not a
// multiple of the block (600 pixels) is written up to 60 bytes past its end, and the last
// row past the end of its buffer. It draws into rows with room to spare, copied from there.
bool DrawFrame(VideoFile& v, const AVFrame& frame, Surface& into) {
  if (into.width != v.width || into.height != v.height || frame.width <= 0 || frame.height <= 0) return false;
  v.scaler = sws_getCachedContext(v.scaler, frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                  v.width, v.height, AV_PIX_FMT_BGR0, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (v.scaler == nullptr) return false;
  const size_t rowBytes = static_cast<size_t>(v.width) * 4;
  const size_t stride = (rowBytes + kScaledRowSpare + kScaledAlign - 1) / kScaledAlign * kScaledAlign;
  v.scaled.resize(stride * (static_cast<size_t>(v.height) + 1) + kScaledAlign);
  uint8_t* const rows = v.scaled.data() + (kScaledAlign - reinterpret_cast<uintptr_t>(v.scaled.data()) % kScaledAlign);
  uint8_t* planes[4] = {rows, nullptr, nullptr, nullptr};
  const int strides[4] = {static_cast<int>(stride), 0, 0, 0};
  if (sws_scale(v.scaler, frame.data, frame.linesize, 0, frame.height, planes, strides) != v.height) return false;
  uint32_t* pixels = SurfaceLock(into);
  if (pixels == nullptr) return false;
  for (int y = 0; y < v.height; ++y) {
    uint32_t* to = pixels + static_cast<size_t>(y) * v.width;
    std::memcpy(to, rows + stride * static_cast<size_t>(y), rowBytes);
    for (int x = 0; x < v.width; ++x) to[x] &= 0xFFFFFFu;  // the scaler fills the unused byte
  }
  SurfaceUnlock(into);
  return true;
}

AVCodecContext* OpenDecoder(const AVStream& stream) {
  const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  AVCodecContext* context = avcodec_alloc_context3(codec);
  if (context == nullptr) return nullptr;
  if (avcodec_parameters_to_context(context, stream.codecpar) < 0 || avcodec_open2(context, codec, nullptr) < 0)
    avcodec_free_context(&context);
  return context;
}

// A rate past any real sound's (a damaged header's 524288001 Hz) is refused before the
// resampler is set up for it, which would take a minute and more than a gigabyte.
bool OpenResampler(VideoFile& v) {
  if (v.sound->sample_rate < 1 || v.sound->sample_rate > kLargestSoundRate) return false;
  AVChannelLayout in{}, out{};
  if (v.sound->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_copy(&in, &v.sound->ch_layout) < 0)
    av_channel_layout_default(&in, std::max(1, v.sound->ch_layout.nb_channels));
  av_channel_layout_default(&out, 2);
  const bool made = swr_alloc_set_opts2(&v.resampler, &out, AV_SAMPLE_FMT_S16, kSoundRate, &in, v.sound->sample_fmt,
                                        v.sound->sample_rate, 0, nullptr) >= 0 &&
                    swr_init(v.resampler) >= 0;
  av_channel_layout_uninit(&in);
  av_channel_layout_uninit(&out);
  if (!made) swr_free(&v.resampler);
  return made;
}

bool Fail(std::string* whyNot, const std::string& why) {
  if (whyNot != nullptr) *whyNot = why;
  return false;
}

// FFmpeg asks between reads and while it probes the streams: a termination signal ends a
// long open (a file on a slow disk), and the reads of a playing video.
int StopRequested(void*) { return PlatformStopSignal() != 0 ? 1 : 0; }

bool OpenStreams(VideoFile& v, const std::string& path, std::string* whyNot) {
  const std::string missing = PlatformUseProblem(CarriedUse::kVideo);
  if (!missing.empty()) return Fail(whyNot, missing);
  static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
  (void)quiet;
  v.format = avformat_alloc_context();
  if (v.format == nullptr) return Fail(whyNot, "out of memory");
  v.format->interrupt_callback.callback = StopRequested;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", kContainers, 0);
  av_dict_set(&options, "protocol_whitelist", "file", 0);
  const int opened = avformat_open_input(&v.format, path.c_str(), nullptr, &options);  // frees v.format on failure
  av_dict_free(&options);
  const char* const stopped = "stopped by a termination signal";
  if (opened < 0) return Fail(whyNot, PlatformStopSignal() != 0 ? stopped : "not a video file: " + path);
  if (avformat_find_stream_info(v.format, nullptr) < 0)
    return Fail(whyNot, PlatformStopSignal() != 0 ? stopped : "damaged video file: " + path);
  v.pictureIndex = av_find_best_stream(v.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (v.pictureIndex < 0) return Fail(whyNot, "no picture in " + path);
  const AVStream& stream = *v.format->streams[v.pictureIndex];
  v.width = stream.codecpar->width;
  v.height = stream.codecpar->height;
  if (v.width < 1 || v.height < 1 || v.width > kLargestSide || v.height > kLargestSide)
    return Fail(whyNot, "bad picture size " + std::to_string(v.width) + "x" + std::to_string(v.height));
  v.picture = OpenDecoder(stream);
  if (v.picture == nullptr) return Fail(whyNot, "no decoder for the picture of " + path);
  v.pictureBase = av_q2d(stream.time_base);
  v.startStamp = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
  if (stream.avg_frame_rate.num > 0 && stream.avg_frame_rate.den > 0)
    v.frameMs = std::max(1, static_cast<int>(1000LL * stream.avg_frame_rate.den / stream.avg_frame_rate.num));
  v.soundIndex = av_find_best_stream(v.format, AVMEDIA_TYPE_AUDIO, -1, v.pictureIndex, nullptr, 0);
  if (v.soundIndex >= 0) {
    v.sound = OpenDecoder(*v.format->streams[v.soundIndex]);
    if (v.sound == nullptr || !OpenResampler(v)) {
      avcodec_free_context(&v.sound);
      v.soundIndex = -1;  // the picture plays without its sound
    }
  }
  v.packet = av_packet_alloc();
  v.next = av_frame_alloc();
  v.shown = av_frame_alloc();
  v.soundFrame = av_frame_alloc();
  if (v.packet == nullptr || v.next == nullptr || v.shown == nullptr || v.soundFrame == nullptr)
    return Fail(whyNot, "out of memory");
  return true;
}

}  // namespace

VideoFile* VideoOpen(const std::string& path, std::string* whyNot) {
  VideoFile* video = new VideoFile;
  if (!OpenStreams(*video, path, whyNot)) {
    VideoClose(video);
    return nullptr;
  }
  return video;
}

void VideoClose(VideoFile* video) {
  if (video == nullptr) return;
  DropPicturePackets(*video);
  av_frame_free(&video->next);
  av_frame_free(&video->shown);
  av_frame_free(&video->soundFrame);
  av_packet_free(&video->packet);
  sws_freeContext(video->scaler);
  swr_free(&video->resampler);
  avcodec_free_context(&video->picture);
  avcodec_free_context(&video->sound);
  avformat_close_input(&video->format);
  delete video;
}

int VideoWidth(const VideoFile* video) { return video->width; }
int VideoHeight(const VideoFile* video) { return video->height; }

bool VideoSeekStart(VideoFile* video) {
  VideoFile& v = *video;
  if (av_seek_frame(v.format, -1, v.format->start_time != AV_NOPTS_VALUE ? v.format->start_time : 0,
                    AVSEEK_FLAG_BACKWARD) < 0)
    return false;
  DropPicturePackets(v);
  avcodec_flush_buffers(v.picture);
  if (v.sound != nullptr) avcodec_flush_buffers(v.sound);
  v.nextReady = v.demuxEnded = v.pictureEnded = false;
  v.lastShownMs = -1;
  v.standing = 0;
  v.runStart = Now();
  std::lock_guard<std::mutex> hold(v.soundLock);
  v.soundQueue.clear();
  return true;
}

void VideoSetRunning(VideoFile* video, bool running) {
  VideoFile& v = *video;
  if (running == v.running) return;
  if (running) {
    FillSoundAhead(v);
    v.runStart = Now();
  } else {
    v.standing = Elapsed(v);
  }
  v.running = running;
}

VideoStep VideoNextFrame(VideoFile* video, Surface& into) {
  VideoFile& v = *video;
  const uint32_t elapsed = Elapsed(v);
  bool due = false;
  for (;;) {
    if (!v.nextReady && !v.pictureEnded) {
      v.nextReady = DecodePicture(v);
      v.pictureEnded = !v.nextReady;
    }
    if (!v.nextReady) break;
    const int at = FrameMs(v, *v.next);
    if (static_cast<uint32_t>(at) > elapsed) break;
    // Due: it replaces the one found before it, which is never drawn (a late step skips frames).
    if (v.lastShownMs >= 0 && at > v.lastShownMs) v.frameMs = at - v.lastShownMs;
    v.lastShownMs = at;
    std::swap(v.next, v.shown);
    av_frame_unref(v.next);
    v.nextReady = false;
    due = true;
  }
  FillSoundAhead(v);
  if (due) {
    DrawFrame(v, *v.shown, into);
    av_frame_unref(v.shown);
    return VideoStep::kFrame;
  }
  if (v.pictureEnded && (v.lastShownMs < 0 || elapsed >= static_cast<uint32_t>(v.lastShownMs + v.frameMs)))
    return VideoStep::kEnded;
  return VideoStep::kNotYet;
}

bool VideoHasSound(const VideoFile* video) { return video->soundIndex >= 0; }
void VideoEnableSound(VideoFile* video) { video->soundWanted = video->soundIndex >= 0; }

int VideoReadSound(VideoFile* video, int16_t* out, int frames) {
  std::lock_guard<std::mutex> hold(video->soundLock);
  const size_t available = std::min(video->soundQueue.size() / 2, static_cast<size_t>(std::max(frames, 0)));
  std::copy_n(video->soundQueue.begin(), available * 2, out);
  video->soundQueue.erase(video->soundQueue.begin(), video->soundQueue.begin() + available * 2);
  std::fill(out + available * 2, out + static_cast<size_t>(std::max(frames, 0)) * 2, int16_t{0});
  return static_cast<int>(available);
}

void VideoSetClockForTests(uint32_t (*clock)()) { gClock = clock; }
