#!/usr/bin/env python3
# Text on the screen against LÖVE 11: a 640x480 frame of 1,000 texts of 11 characters in
# DejaVu Sans at 10 pixels, drawn and shown, in each. Both run in windows on one Xvfb server,
# LÖVE on Mesa's software renderer (LIBGL_ALWAYS_SOFTWARE=1); each program times its own
# frames after a warm-up and prints the milliseconds per frame. Runs alternate between the two
# and the medians are compared. RUNS=7 FRAMES=200 by default.
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
WARM_FRAMES = 10

# The scene in BASIC: "system" at size 10 is DejaVu Sans at 10 pixels.
QUORVANEL_PROGRAM = """sync on
sync rate 0
ink rgb(255, 255, 0), 0
frames = {frames}
for frame = 1 to {warm} + frames
  if frame = {warm} + 1 then start = timer()
  cls 0
  for i = 0 to 999
    text (i * 37 + frame) mod 580, (i * 53) mod 468, "Score 12345"
  next i
  sync
next frame
print "us per frame "; (timer() - start) * 1000 / frames
"""

LOVE_CONF = """function love.conf(t)
  t.window.width = 640
  t.window.height = 480
  t.window.vsync = 0
  t.modules.audio = false
  t.modules.sound = false
  t.modules.joystick = false
  t.modules.physics = false
end
"""

# The same scene in Lua: the font file read directly (LÖVE's own paths stay inside the game).
LOVE_MAIN = """function love.run()
  local file = io.open("{font}", "rb")
  local font = love.graphics.newFont(love.filesystem.newFileData(file:read("*a"), "DejaVuSans.ttf"), 10)
  file:close()
  love.graphics.setFont(font)
  local frames, start = {frames}, 0
  for frame = 1, {warm} + frames do
    if frame == {warm} + 1 then start = love.timer.getTime() end
    love.event.pump()
    love.graphics.origin()
    love.graphics.clear(0, 0, 0)
    love.graphics.setColor(1, 1, 0)
    for i = 0, 999 do
      love.graphics.print("Score 12345", (i * 37 + frame) % 580, (i * 53) % 468)
    end
    love.graphics.present()
  end
  print(string.format("us per frame %d", math.floor((love.timer.getTime() - start) * 1e6 / frames)))
  return function() return 0 end
end
"""


# LÖVE and Xvfb from Debian when missing (as root; otherwise says how).
def install_missing():
    missing = [pkg for pkg, cmd in (("love", "love"), ("xvfb", "Xvfb")) if shutil.which(cmd) is None]
    if not missing:
        return
    if os.geteuid() != 0:
        print("to install the peer run: sudo apt-get install -y " + " ".join(missing))
        return
    print("installing: " + " ".join(missing), flush=True)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    for arguments in (["update", "-qq"], ["install", "-y", "-qq", "--no-install-recommends"] + missing):
        subprocess.run(["apt-get"] + arguments, env=env, check=False)


# An Xvfb server on the first free display number from 90; (process, display) or (None, None).
def start_xvfb():
    for number in range(90, 120):
        if os.path.exists("/tmp/.X11-unix/X%d" % number) or os.path.exists("/tmp/.X%d-lock" % number):
            continue
        server = subprocess.Popen(["Xvfb", ":%d" % number, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if os.path.exists("/tmp/.X11-unix/X%d" % number):
                return server, ":%d" % number
            if server.poll() is not None:
                break
            time.sleep(0.1)
        server.kill()
        server.wait()
    return None, None


# One run: milliseconds per frame, or None with the reason.
def run_once(name, command, env, cwd):
    try:
        done = subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=600)
    except subprocess.TimeoutExpired:
        return None, "timed out"
    for line in done.stdout.splitlines():
        if line.startswith("us per frame"):
            return float(line.split()[-1]) / 1000.0, None
    return None, "%s: exit status %d: %s" % (name, done.returncode, (done.stderr or done.stdout).strip()[-300:])


def main():
    runs = int(os.environ.get("RUNS", "7"))
    frames = int(os.environ.get("FRAMES", "200"))
    quorvanel = os.environ.get("QUORVANEL", os.path.join(HERE, "..", "..", "build", "quorvanel"))
    install_missing()
    if shutil.which("love") is None or shutil.which("Xvfb") is None:
        print("love and Xvfb are needed for the text comparison")
        return 1
    work = tempfile.mkdtemp(prefix="qv-love-")
    game = os.path.join(work, "game")
    os.mkdir(game)
    with open(os.path.join(work, "texts.qva"), "w") as f:
        f.write(QUORVANEL_PROGRAM.format(frames=frames, warm=WARM_FRAMES))
    with open(os.path.join(game, "conf.lua"), "w") as f:
        f.write(LOVE_CONF)
    with open(os.path.join(game, "main.lua"), "w") as f:
        f.write(LOVE_MAIN.format(font=FONT, frames=frames, warm=WARM_FRAMES))
    server, display = start_xvfb()
    if server is None:
        print("could not start Xvfb")
        return 1
    base = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER="dummy", HOME=work)
    base.pop("SDL_VIDEODRIVER", None)
    peers = [("quorvanel", [quorvanel, "run", os.path.join(work, "texts.qva"), "--echo"], dict(base)),
             ("love", ["love", game], dict(base, LIBGL_ALWAYS_SOFTWARE="1"))]
    times = {name: [] for name, _, _ in peers}
    failures = []
    try:
        for round_number in range(runs):
            for name, command, env in peers:
                ms, why = run_once(name, command, env, work)
                if ms is None:
                    failures.append(why)
                else:
                    times[name].append(ms)
            print("round %d of %d done" % (round_number + 1, runs), file=sys.stderr, flush=True)
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("%-44s %12s %12s %7s" % ("scene (640x480 window, Xvfb)", "quorvanel", "love 11", "ratio"))
    met = False
    if times["quorvanel"] and times["love"]:
        q, l = statistics.median(times["quorvanel"]), statistics.median(times["love"])
        met = q < l
        print("%-44s %9.2f ms %9.2f ms %6.2fx   goal: below LÖVE's frame time: %s" %
              ("1000 texts of 11 characters a frame", q, l, q / l, "met" if met else "NOT met"))
    print("ms per frame, median of %d runs of %d frames each, interleaved; LÖVE on the software renderer" %
          (runs, frames))
    for failure in failures:
        print("failed: " + failure)
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
