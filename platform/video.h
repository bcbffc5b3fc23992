// Video files (AVI and the other common containers) decoded frame by frame into CPU surfaces,
// with a clock deciding which frame is due, and the sound track as 44100 Hz stereo samples.
#pragma once
#include <cstdint>
#include <string>

struct Surface;
struct VideoFile;

// What one step of a video gives: a new frame drawn, no frame due yet, or the end reached.
enum class VideoStep { kFrame, kNotYet, kEnded };

// Opens a video file; null with the reason in *whyNot (no video stream, an unknown or damaged
// file, the video libraries not installed). The clock stands until VideoSetRunning.
VideoFile* VideoOpen(const std::string& path, std::string* whyNot = nullptr);
// Closes the file; null is accepted. The sound track's reader must have stopped calling.
void VideoClose(VideoFile* video);
// The frame size in pixels.
int VideoWidth(const VideoFile* video);
int VideoHeight(const VideoFile* video);
// Back to the first frame, with the clock at 0; false when the file cannot seek.
bool VideoSeekStart(VideoFile* video);
// Runs or stands the clock; standing keeps the position.
void VideoSetRunning(VideoFile* video, bool running);
// Draws into `into` (a surface of the video's size) the newest frame the clock has reached;
// kEnded once the last frame has been shown for its duration.
VideoStep VideoNextFrame(VideoFile* video, Surface& into);
// Whether the file has a sound track; decoding it starts with VideoEnableSound.
bool VideoHasSound(const VideoFile* video);
void VideoEnableSound(VideoFile* video);
// Takes up to `frames` stereo frames of 16-bit samples decoded so far (44100 Hz); returns how
// many were there (the rest of out is silence). Safe from the sound library's feeder thread.
int VideoReadSound(VideoFile* video, int16_t* out, int frames);
// Tests: the clock in milliseconds every video reads (null: the real one).
void VideoSetClockForTests(uint32_t (*clock)());
