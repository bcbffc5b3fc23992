// The cue-sheet reader: the FILE, TRACK and INDEX lines of a .cue image, checked line by line;
// every other command (REM, TITLE, PERFORMER, FLAGS, PREGAP, ...) is skipped.
#include <cstring>

#include "sound/cd/cd_local.h"

namespace {

constexpr size_t kMaxSheetBytes = 1 << 20;

// One line's words: blanks separate them, a word in double quotes may hold blanks.
struct LineCursor {
  const char* at;
  const char* end;
  bool Word(std::string* word) {
    while (at < end && (*at == ' ' || *at == '\t')) at++;
    if (at >= end) return false;
    word->clear();
    if (*at == '"') {
      const char* close = static_cast<const char*>(std::memchr(at + 1, '"', size_t(end - at - 1)));
      if (close == nullptr) return false;
      word->assign(at + 1, close);
      at = close + 1;
      return true;
    }
    const char* start = at;
    while (at < end && *at != ' ' && *at != '\t') at++;
    word->assign(start, at);
    return true;
  }
};

bool Upper(const std::string& word, const char* expected) {
  if (word.size() != std::strlen(expected)) return false;
  for (size_t i = 0; i < word.size(); i++) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (c != expected[i]) return false;
  }
  return true;
}

// A decimal number of 1 to `digits` digits, at most `maximum`.
bool Number(const std::string& text, size_t digits, int maximum, int* value) {
  if (text.empty() || text.size() > digits) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > maximum) return false;
  *value = v;
  return true;
}

// mm:ss:ff (minutes up to 999, 75 frames a second) as sectors.
bool Time(const std::string& text, int64_t* sectors) {
  const size_t first = text.find(':');
  const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
  if (second == std::string::npos) return false;
  int minutes, seconds, frames;
  if (!Number(text.substr(0, first), 3, 999, &minutes) ||
      !Number(text.substr(first + 1, second - first - 1), 2, 59, &seconds) ||
      !Number(text.substr(second + 1), 2, 74, &frames))
    return false;
  *sectors = (int64_t(minutes) * 60 + seconds) * 75 + frames;
  return true;
}

struct TrackMode {
  const char* name;
  bool audio;
  int sectorBytes;
};
constexpr TrackMode kTrackModes[] = {
    {"AUDIO", true, 2352},       {"MODE1/2352", false, 2352}, {"MODE1/2048", false, 2048},
    {"MODE2/2352", false, 2352}, {"MODE2/2336", false, 2336}, {"CDI/2352", false, 2352},
};

bool Fail(std::string* error, int line, const char* reason) {
  *error = "cue sheet line " + std::to_string(line) + ": " + reason;
  return false;
}

}  // namespace

bool SndReadCueSheet(const char* text, size_t length, SndCueSheet* sheet, std::string* error) {
  *sheet = SndCueSheet{};
  if (length > kMaxSheetBytes) return Fail(error, 0, "longer than 1 MB");
  const char* at = text;
  const char* end = text + length;
  // A byte-order mark of a sheet saved as UTF-8.
  if (length >= 3 && std::memcmp(at, "\xEF\xBB\xBF", 3) == 0) at += 3;
  bool haveIndex1 = true;  // of the track being read
  std::string word;
  for (int line = 1; at < end; line++) {
    const char* lineEnd = at;
    while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r') lineEnd++;
    LineCursor cursor{at, lineEnd};
    at = lineEnd;
    if (at < end && *at == '\r') at++;  // CR LF, CR or LF ends a line
    if (at < end && *at == '\n') at++;
    if (!cursor.Word(&word)) continue;
    if (Upper(word, "FILE")) {
      SndCueFile file;
      std::string type;
      if (!cursor.Word(&file.name) || !cursor.Word(&type) || file.name.empty())
        return Fail(error, line, "FILE needs a name and a type");
      if (Upper(type, "BINARY"))
        file.bigEndian = false;
      else if (Upper(type, "MOTOROLA"))
        file.bigEndian = true;
      else
        return Fail(error, line, "only BINARY and MOTOROLA files hold raw sectors");
      if (file.name.size() > 1024) return Fail(error, line, "file name too long");
      if (sheet->files.size() >= size_t(kSndCdMaxTracks)) return Fail(error, line, "too many files");
      sheet->files.push_back(file);
    } else if (Upper(word, "TRACK")) {
      std::string number, mode;
      int value;
      if (!haveIndex1) return Fail(error, line, "the track before has no INDEX 01");
      if (sheet->files.empty()) return Fail(error, line, "TRACK before any FILE");
      if (!cursor.Word(&number) || !cursor.Word(&mode) || !Number(number, 2, kSndCdMaxTracks, &value) || value < 1)
        return Fail(error, line, "TRACK needs a number 1..99 and a mode");
      if (!sheet->tracks.empty() && value <= sheet->tracks.back().number)
        return Fail(error, line, "track numbers must rise");
      const TrackMode* found = nullptr;
      for (const TrackMode& m : kTrackModes)
        if (Upper(mode, m.name)) found = &m;
      if (found == nullptr) return Fail(error, line, "unknown track mode");
      sheet->tracks.push_back({value, int(sheet->files.size()) - 1, found->audio, found->sectorBytes, -1, -1});
      haveIndex1 = false;
    } else if (Upper(word, "INDEX")) {
      std::string number, time;
      int index;
      int64_t sectors;
      if (sheet->tracks.empty()) return Fail(error, line, "INDEX before any TRACK");
      if (!cursor.Word(&number) || !cursor.Word(&time) || !Number(number, 2, 99, &index) || !Time(time, &sectors))
        return Fail(error, line, "INDEX needs a number and mm:ss:ff");
      SndCueTrack& track = sheet->tracks.back();
      if (index == 0) {
        track.pregapStart = sectors;
      } else if (index == 1) {
        if (haveIndex1) return Fail(error, line, "a second INDEX 01");
        if (track.pregapStart > sectors) return Fail(error, line, "INDEX 01 before INDEX 00");
        // Tracks sharing a file follow each other in it.
        for (const SndCueTrack& before : sheet->tracks)
          if (&before != &track && before.file == track.file && before.start > (track.pregapStart >= 0 ? track.pregapStart : sectors))
            return Fail(error, line, "INDEX 01 before the previous track's start");
        track.start = sectors;
        haveIndex1 = true;
      }
    }
  }
  if (!haveIndex1) return Fail(error, 0, "the last track has no INDEX 01");
  if (sheet->tracks.empty()) return Fail(error, 0, "no tracks");
  return true;
}
