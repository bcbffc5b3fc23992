// The CD commands: where CD tracks come from (a drive or a .cue image, also named by
// SETUP.INI's CDDRIVE) and what the disc holds. The music slots play the tracks.
#include <string>

#include "commands/commands.h"
#include "commands/sound_local.h"
#include "platform/profile.h"
#include "runtime/command_numbers.h"
#include "runtime/runtime.h"
#include "sound/cd/cd.h"

namespace {

bool gSourceChosen = false;  // lives for the process: SETUP.INI is read at most once

void CmdCdSetSource() {  // source
  const std::string source = TextOperand(0);
  AdvanceOperands(1);
  gSourceChosen = true;
  SndSetCdSource(source.c_str());
}

template <int (*Query)()>
void CmdCdQuery() {  // result
  ChooseCdSourceFromSetup();
  WriteIntResult(Query());
  AdvanceOperands(1);
}

void CmdCdTrackLength() {  // result, track
  ChooseCdSourceFromSetup();
  WriteIntResult(SndGetCdTrackLength(IntOperand(1)));
  AdvanceOperands(2);
}

const CommandEntry kCdCommands[] = {
    {kCdSetSource, CmdCdSetSource},
    {kCdTrackCount, CmdCdQuery<SndGetCdTrackCount>},
    {kCdCurrentTrack, CmdCdQuery<SndGetCdCurrentTrack>},
    {kCdPosition, CmdCdQuery<SndGetCdTrackPosition>},
    {kCdTrackLength, CmdCdTrackLength},
};

}  // namespace

bool RegisterCdCommands() { return RegisterCommandsStartingSound(kCdCommands); }

// A name that is not absolute is taken beside the executable, as SETUP.INI itself.
void ChooseCdSourceFromSetup() {
  if (gSourceChosen) return;
  gSourceChosen = true;
  const std::string setup = ExecutableFolder() + "/SETUP.INI";
  const std::string source = PlatformReadProfileString(setup.c_str(), "SETTINGS", "CDDRIVE", "");
  if (source.empty()) return;
  SndSetCdSource(source[0] == '/' ? source.c_str() : (ExecutableFolder() + "/" + source).c_str());
}
