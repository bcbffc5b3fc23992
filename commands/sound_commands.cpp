// The sound commands: load, record, save, play, loop, pause and query numbered sounds 1..1025
// and drive 3D sound. Every handler reads all its operands first; the glue does the work.
#include "commands/commands.h"
#include "commands/sound_local.h"
#include "graphics2d/graphics2d.h"
#include "runtime/command_numbers.h"

static bool SoundOn() { return SoundGlue().soundOn != 0; }

// Resetting a slot's flags after it was filled.
static void ResetSoundFlags(SoundSlot& slot) {
  slot.marked3D = slot.playing = slot.paused = slot.looping = 0;
  slot.volume = 100;
  slot.pan = 0;
}

static bool SoundNumberOk(int32_t sound) {
  if (sound >= 1 && sound <= kLastSoundNumber) return true;
  RuntimeError(3001);
  return false;
}

// The number and a loaded slot; not loaded raises 3004 only while the library runs.
static SoundSlot* LoadedSound(int32_t sound) {
  if (!SoundNumberOk(sound)) return nullptr;
  SoundSlot& slot = SoundSlotAt(sound);
  if (slot.loaded) return &slot;
  if (SoundOn()) RuntimeError(3004);
  return nullptr;
}

template <int Option>
static void LoadInto(const char* name, int32_t sound) {
  if (!SoundNumberOk(sound)) return;
  SoundSlot& slot = SoundSlotAt(sound);
  if (slot.loaded) FreeSoundSlot(sound);
  if (!SoundOn()) return;
  if (!LoadSoundFile(sound, name, Option)) {
    RuntimeError(3002);
    return;
  }
  ResetSoundFlags(slot);
}

static void CmdSoundLoad() {  // file, sound
  const char* name = TextOperand(0);
  const int32_t sound = IntOperand(1);
  AdvanceOperands(2);
  LoadInto<0>(name, sound);
}

static void CmdSoundLoadWithFlag() {  // file, sound, flag (stepped over)
  const char* name = TextOperand(0);
  const int32_t sound = IntOperand(1);
  AdvanceOperands(3);
  LoadInto<1>(name, sound);
}

static void CmdSoundLoad3D() {  // file, sound
  const char* name = TextOperand(0);
  const int32_t sound = IntOperand(1);
  AdvanceOperands(2);
  if (!SoundNumberOk(sound)) return;
  SoundSlot& slot = SoundSlotAt(sound);
  if (slot.loaded) FreeSoundSlot(sound);
  if (!SoundOn()) return;
  if (!LoadSound3DFile(sound, name)) {
    RuntimeError(3002);
    return;
  }
  ResetSoundFlags(slot);
  slot.marked3D = 1;
}

static void CmdSoundDelete() {  // sound
  const int32_t sound = IntOperand(0);
  AdvanceOperands(1);
  if (LoadedSound(sound) != nullptr) FreeSoundSlot(sound);
}

// Play once (3003 from the start, 3022 from a position in frames).
template <int Operands>
static void CmdSoundPlay() {
  const int32_t sound = IntOperand(0);
  const int32_t position = Operands > 1 ? IntOperand(1) : 0;
  AdvanceOperands(Operands);
  SoundSlot* slot = LoadedSound(sound);
  if (slot == nullptr) return;
  PlaySoundOnce(sound, position);
  slot->playing = 1;
  slot->looping = 0;
}

// Loop (3007 the file's own loop; 3023 from a start frame to the end, 3024 the frames start
// to end, each played from its start; 3025 that section, played from a position).
template <int Operands>
static void CmdSoundLoop() {
  const int32_t sound = IntOperand(0);
  const int32_t start = Operands > 1 ? IntOperand(1) : 0;
  const int32_t end = Operands > 2 ? IntOperand(2) : 0;
  const int32_t position = Operands > 3 ? IntOperand(3) : start;
  AdvanceOperands(Operands);
  SoundSlot* slot = LoadedSound(sound);
  if (slot == nullptr) return;
  if (Operands == 1) {
    PlaySoundLooped(sound);
  } else {
    PlaySoundLoopRange(sound, start, end, position);
  }
  slot->looping = 1;
  slot->playing = 1;
}

static void CmdSoundStop() {  // sound
  const int32_t sound = IntOperand(0);
  AdvanceOperands(1);
  SoundSlot* slot = LoadedSound(sound);
  if (slot == nullptr) return;
  StopSoundChannel(sound);
  slot->playing = slot->looping = 0;
  slot->loopStart = slot->loopEnd = 0;
}

template <bool Pause>
static void CmdSoundPauseResume() {  // sound
  const int32_t sound = IntOperand(0);
  AdvanceOperands(1);
  SoundSlot* slot = LoadedSound(sound);
  if (slot == nullptr) return;
  if (Pause) {
    PauseSound(sound);
  } else {
    ResumeSound(sound);
  }
  slot->paused = Pause ? 1 : 0;
  slot->pausedByDeactivation = 0;
}

// Volume, speed and pan: a value in its range, passed to the glue and kept for the queries.
template <int Low, int High, int Error, void (*Set)(int, int), int32_t SoundSlot::*Kept>
static void CmdSoundSetValue() {  // sound, value
  const int32_t sound = IntOperand(0), value = IntOperand(1);
  AdvanceOperands(2);
  SoundSlot* slot = LoadedSound(sound);
  if (slot == nullptr) return;
  if (value < Low || value > High) {
    RuntimeError(Error);
    return;
  }
  Set(sound, value);
  slot->*Kept = value;
}

static void CmdSoundPosition() {  // sound, x, y, z
  const int32_t sound = IntOperand(0);
  const SndVector3 position{FloatOperand(1), FloatOperand(2), FloatOperand(3)};
  AdvanceOperands(4);
  SoundSlot* slot = LoadedSound(sound);
  if (slot == nullptr) return;
  slot->position = position;
  SetSoundPosition3D(sound);
}

static void CmdSoundListenerPosition() {  // x, y, z
  const float x = FloatOperand(0), y = FloatOperand(1), z = FloatOperand(2);
  AdvanceOperands(3);
  if (SoundOn()) SetListenerPosition(x, y, z);
}

static void CmdSoundListenerRotate() {  // ax, ay, az in degrees
  const float x = FloatOperand(0), y = FloatOperand(1), z = FloatOperand(2);
  AdvanceOperands(3);
  if (SoundOn()) SetListenerAngles(x, y, z);
}

static void CmdSoundListenerScale() {  // scale in hundredths
  const float scale = FloatOperand(0);
  AdvanceOperands(1);
  if (SoundOn()) SndSetDistanceScale(scale / 100.0f);
}

static void CmdSoundClone() {  // target, source
  const int32_t target = IntOperand(0), source = IntOperand(1);
  AdvanceOperands(2);
  if (!SoundOn()) return;
  if (!SoundNumberOk(target) || !SoundNumberOk(source)) return;
  if (target == source) {
    RuntimeError(3023);
    return;
  }
  if (!SoundSlotAt(source).loaded) {
    RuntimeError(3022);
    return;
  }
  if (SoundSlotAt(target).loaded) FreeSoundSlot(target);
  if (!CloneSound(target, source)) {
    RuntimeError(3021);
    return;
  }
  ResetSoundFlags(SoundSlotAt(target));
}

static void StartRecordingInto(int32_t sound, int32_t seconds) {
  if (!SoundNumberOk(sound)) return;
  if (SoundSlotAt(sound).loaded) FreeSoundSlot(sound);
  if (!StartRecording(sound, seconds) && SoundOn()) RuntimeError(3002);
}

static void CmdSoundRecord() {  // sound
  const int32_t sound = IntOperand(0);
  AdvanceOperands(1);
  StartRecordingInto(sound, 0);
}

static void CmdSoundRecordFor() {  // sound, seconds
  const int32_t sound = IntOperand(0), seconds = IntOperand(1);
  AdvanceOperands(2);
  StartRecordingInto(sound, seconds);
}

static void CmdSoundStopRecording() {
  ResetSoundFlags(SoundSlotAt(StopRecording()));
}

static void CmdSoundSave() {  // file, sound
  const char* name = TextOperand(0);
  const int32_t sound = IntOperand(1);
  AdvanceOperands(2);
  if (!SoundNumberOk(sound)) return;
  std::string why;
  if (SaveSoundAsWave(name, sound, &why) || !SoundOn()) return;
  WriteEngineErrorLog(why.c_str());  // the message ends with the file and the reason
  RuntimeError(3008);
}

static void CmdSoundSetEnvironment() {  // preset
  const int32_t preset = IntOperand(0);
  AdvanceOperands(1);
  SetSoundEnvironment(preset);
}

template <int Operands>
static void CmdSoundUnsupported() {
  AdvanceOperands(Operands);
  RuntimeError(3201);
}

static void CmdSoundLoadUnsupported3042() {  // file, sound
  const int32_t sound = IntOperand(1);
  AdvanceOperands(2);
  if (!SoundNumberOk(sound)) return;
  RuntimeError(SoundSlotAt(sound).loaded ? 3003 : 3201);
}

// ---------------------------------------------------------------------------------------
// Queries: operand 0 the result, operand 1 the sound
// ---------------------------------------------------------------------------------------

static void CmdSoundExist() {
  const int32_t sound = IntOperand(1);
  if (SoundNumberOk(sound)) WriteIntResult(SoundSlotAt(sound).loaded && SoundOn() ? 1 : 0);
  AdvanceOperands(2);
}

// The playing flag drops once the sound has ended on its own.
static void CmdSoundPlaying() {
  const int32_t sound = IntOperand(1);
  if (SoundSlot* slot = LoadedSound(sound)) {
    if (slot->playing && !IsSoundPlaying(sound)) slot->playing = 0;
    WriteIntResult(slot->playing);
  }
  AdvanceOperands(2);
}

// Where the sound's channel is in its sample, in milliseconds at the sample's own rate (so a
// sound played at another speed still counts its own time); 0 when it does not play.
static void CmdSoundPlayPosition() {
  const int32_t sound = IntOperand(1);
  if (SoundSlot* slot = LoadedSound(sound)) {
    int frequency = 0;
    int64_t milliseconds = 0;
    if (IsSoundPlaying(sound) && SndGetSampleDefaults(slot->sample, &frequency, nullptr, nullptr, nullptr) && frequency > 0)
      milliseconds = static_cast<int64_t>(SndGetChannelPosition(slot->channel)) * 1000 / frequency;
    WriteIntResult(static_cast<int32_t>(milliseconds));
  }
  AdvanceOperands(2);
}

template <auto Field>
static void CmdSoundIntQuery() {
  if (SoundSlot* slot = LoadedSound(IntOperand(1))) WriteIntResult(static_cast<int32_t>(slot->*Field));
  AdvanceOperands(2);
}

template <float SndVector3::*Axis>
static void CmdSoundPositionQuery() {
  if (SoundSlot* slot = LoadedSound(IntOperand(1))) WriteFloatResult(slot->position.*Axis);
  AdvanceOperands(2);
}

template <SndVector3 SoundGlueState::*Vector, float SndVector3::*Axis>
static void CmdSoundListenerQuery() {
  WriteFloatResult(SoundGlue().*Vector.*Axis);
  AdvanceOperands(1);
}

static const CommandEntry kSoundCommands[] = {
    {kSoundLoad, CmdSoundLoad},
    {kSoundDelete, CmdSoundDelete},
    {kSoundPlay, CmdSoundPlay<1>},
    {kSoundStop, CmdSoundStop},
    {kSoundPause, CmdSoundPauseResume<true>},
    {kSoundResume, CmdSoundPauseResume<false>},
    {kSoundLoop, CmdSoundLoop<1>},
    {kSoundSetVolume, CmdSoundSetValue<0, 100, 3005, SetSoundVolume, &SoundSlot::volume>},
    {kSoundSetSpeed, CmdSoundSetValue<100, 100000, 3006, SetSoundFrequency, &SoundSlot::frequency>},
    {kSoundSetPan, CmdSoundSetValue<-10000, 10000, 3007, SetSoundPan, &SoundSlot::pan>},
    {kSoundLoad3D, CmdSoundLoad3D},
    {kSoundPosition, CmdSoundPosition},
    {kSoundListenerPosition, CmdSoundListenerPosition},
    {kSoundListenerRotate, CmdSoundListenerRotate},
    {kSoundListenerScale, CmdSoundListenerScale},
    {kSoundClone, CmdSoundClone},
    {kSoundPlayFrom, CmdSoundPlay<2>},
    {kSoundLoopFrom, CmdSoundLoop<2>},
    {kSoundLoopRange, CmdSoundLoop<3>},
    {kSoundLoopRangeFrom, CmdSoundLoop<4>},
    {kSoundLoadWithFlag, CmdSoundLoadWithFlag},
    {kSoundRecord, CmdSoundRecord},
    {kSoundStopRecording, CmdSoundStopRecording},
    {kSoundSave, CmdSoundSave},
    {kSoundRecordFor, CmdSoundRecordFor},
    {kSoundSetEnvironment, CmdSoundSetEnvironment},
    {kSoundUnsupported3041, CmdSoundUnsupported<1>},
    {kSoundLoadUnsupported3042, CmdSoundLoadUnsupported3042},
    {kSoundUnsupported3043, CmdSoundUnsupported<2>},
    {kSoundUnsupported3046, CmdSoundUnsupported<1>},
    {kSoundExist, CmdSoundExist},
    {kSoundPlaying, CmdSoundPlaying},
    {kSoundPlayPosition, CmdSoundPlayPosition},
    {kSoundPaused, CmdSoundIntQuery<&SoundSlot::paused>},
    {kSoundLooping, CmdSoundIntQuery<&SoundSlot::looping>},
    {kSoundVolume, CmdSoundIntQuery<&SoundSlot::volume>},
    {kSoundSpeed, CmdSoundIntQuery<&SoundSlot::frequency>},
    {kSoundPan, CmdSoundIntQuery<&SoundSlot::pan>},
    {kSoundIs3D, CmdSoundIntQuery<&SoundSlot::marked3D>},
    {kSoundPositionX, CmdSoundPositionQuery<&SndVector3::x>},
    {kSoundPositionY, CmdSoundPositionQuery<&SndVector3::y>},
    {kSoundPositionZ, CmdSoundPositionQuery<&SndVector3::z>},
    {kSoundListenerX, CmdSoundListenerQuery<&SoundGlueState::listener, &SndVector3::x>},
    {kSoundListenerY, CmdSoundListenerQuery<&SoundGlueState::listener, &SndVector3::y>},
    {kSoundListenerZ, CmdSoundListenerQuery<&SoundGlueState::listener, &SndVector3::z>},
    {kSoundListenerAngleX, CmdSoundListenerQuery<&SoundGlueState::listenerAngles, &SndVector3::x>},
    {kSoundListenerAngleY, CmdSoundListenerQuery<&SoundGlueState::listenerAngles, &SndVector3::y>},
    {kSoundListenerAngleZ, CmdSoundListenerQuery<&SoundGlueState::listenerAngles, &SndVector3::z>},
};

bool RegisterSoundCommands() { return RegisterCommandsStartingSound(kSoundCommands); }
