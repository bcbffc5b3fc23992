#!/usr/bin/env python3
# Runs the interpreter benchmarks against Lua 5.4, yabasic and BBC BASIC (brandy): each
# program in every language, interleaved, whole-process wall time, median of several runs.
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROGRAMS = ["loop", "fib", "sieve", "mandelbrot", "strings", "textfuncs", "calls", "empty"]
# The goals against Lua 5.4: at most this many times its time.
LUA_GOALS = {"loop": 2, "fib": 3, "sieve": 2, "mandelbrot": 2, "strings": 2, "textfuncs": 2, "calls": 3}
# Debian package and command of each peer; Lua is required, the BASICs are optional.
PEERS = [("lua", "lua5.4", "lua5.4", ".lua", True),
         ("yabasic", "yabasic", "yabasic", ".yab", False),
         ("brandy", "brandy", "brandy", ".bas", False)]


def install_missing():
    missing = [pkg for _, pkg, cmd, _, _ in PEERS if shutil.which(cmd) is None]
    if not missing:
        return
    if os.geteuid() == 0:
        print("installing: " + " ".join(missing), flush=True)
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        subprocess.run(["apt-get", "update", "-qq"], env=env, check=False)
        subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends"] + missing, env=env, check=False)
    else:
        print("peers missing; to install them run: sudo apt-get install -y " + " ".join(missing))


def command_for(language, program, quorvanel):
    path = os.path.join(HERE, program)
    if language == "quorvanel":
        return [quorvanel, "run", path + ".qva", "--headless", "--echo"]
    if language == "lua":
        return ["lua5.4", path + ".lua"]
    if language == "yabasic":
        return ["yabasic", path + ".yab"]
    # brandy shows its output in a window only: the programs write their result to a file.
    return ["brandy", "-quit", path + ".bas"]


# One whole-process run: (seconds, printed result) or (None, why) when it failed.
def run_once(language, program, quorvanel):
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, SDL_VIDEODRIVER="offscreen" if language == "quorvanel" else "dummy",
                   SDL_AUDIODRIVER="dummy")
        start = time.perf_counter()
        try:
            done = subprocess.run(command_for(language, program, quorvanel), cwd=work, env=env,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
        except subprocess.TimeoutExpired:
            return None, "timed out"
        seconds = time.perf_counter() - start
        if language == "brandy":
            try:
                with open(os.path.join(work, "brandy.out")) as f:
                    output = f.read()
            except OSError:
                return None, "wrote no result"
        else:
            output = done.stdout
        if done.returncode != 0:
            return None, "exit status %d: %s" % (done.returncode, done.stderr.strip()[:200])
        return seconds, " ".join(output.split())


def main():
    runs = int(os.environ.get("RUNS", "5"))
    only = os.environ.get("ONLY", "").split()
    quorvanel = os.environ.get("QUORVANEL", os.path.join(HERE, "..", "..", "build", "quorvanel"))
    install_missing()
    if shutil.which("lua5.4") is None:
        print("lua5.4 is needed for the comparison")
        return 1
    languages = ["quorvanel"] + [name for name, _, cmd, _, _ in PEERS if shutil.which(cmd) is not None]
    programs = [p for p in PROGRAMS if not only or p in only]
    times = {(p, l): [] for p in programs for l in languages}
    results = {}
    failures = []
    for round_number in range(runs):
        for program in programs:
            for language in languages:
                seconds, output = run_once(language, program, quorvanel)
                if seconds is None:
                    failures.append("%s %s: %s" % (program, language, output))
                    continue
                times[(program, language)].append(seconds)
                results.setdefault((program, language), output)
        print("round %d of %d done" % (round_number + 1, runs), file=sys.stderr, flush=True)
    disagree = False
    for program in programs:
        printed = {l: results.get((program, l)) for l in languages if (program, l) in results}
        if len(set(printed.values())) > 1:
            disagree = True
            failures.append("%s: results differ: %s" % (program, printed))
    header = "%-11s %10s" % ("program", "quorvanel")
    for language in languages[1:]:
        header += " %9s %7s" % (language, "ratio")
    header += "   goal vs lua   net of start-up"
    print(header)
    goals_met = True
    for program in programs:
        median = {l: statistics.median(times[(program, l)]) for l in languages if times[(program, l)]}
        line = "%-11s %9.3fs" % (program, median.get("quorvanel", float("nan")))
        for language in languages[1:]:
            if language in median and "quorvanel" in median:
                line += " %8.3fs %6.2fx" % (median[language], median["quorvanel"] / median[language])
            else:
                line += " %9s %7s" % ("-", "-")
        goal = LUA_GOALS.get(program)
        if goal is not None and "quorvanel" in median and "lua" in median:
            met = median["quorvanel"] <= goal * median["lua"]
            goals_met = goals_met and met
            line += "   <= %dx %-7s" % (goal, "met" if met else "NOT met")
            # The same ratio without each language's empty-program time.
            empty_q, empty_l = times.get(("empty", "quorvanel")), times.get(("empty", "lua"))
            if empty_q and empty_l:
                q = median["quorvanel"] - statistics.median(empty_q)
                l = median["lua"] - statistics.median(empty_l)
                if l > 0:
                    line += "   %6.2fx" % (q / l)
        print(line)
    print("ratio = Quorvanel's time / the peer's (median of %d whole-process runs, interleaved);" % runs)
    print("net of start-up: both times less the same language's empty program")
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures or disagree else 0


if __name__ == "__main__":
    sys.exit(main())
