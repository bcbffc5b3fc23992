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
# "compile" compiles a generated program of 20,000 lines (Quorvanel's compiler against luac 5.4
# on the same program written in Lua); "compile-empty" is its start-up alone.
PROGRAMS = ["loop", "fib", "sieve", "mandelbrot", "strings", "textfuncs", "calls", "empty", "compile", "compile-empty",
            "readlines", "writelines", "readsplit"]
# The goals against Lua 5.4: at most this many times its time.
LUA_GOALS = {"loop": 1, "fib": 1.5, "sieve": 1, "mandelbrot": 1.25, "strings": 1, "textfuncs": 1, "calls": 1.5,
             "compile": 2, "readlines": 2, "writelines": 2}
# The start-up each program's net ratio takes off: the empty program of the same kind.
EMPTY_OF = {"compile": "compile-empty"}
COMPILE_LINES = 20000
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


def write_compile_programs(folder):
    """The compile benchmark's program in BASIC and in Lua, statement for statement: blocks
    of an assignment with arithmetic, a FOR loop over an array, an IF with AND, ELSE, a
    string join and a maths function, and a FUNCTION call; then the function itself."""
    basic, lua = ["dim table(100)"], ["local helper", "tbl = {}"]
    written, block = 1, 0
    while written < COMPILE_LINES:
        v, k = "v%d" % (block % 400), block % 97
        basic += ["%s = %s + %d * (a - 3) / 2" % (v, v, k),
                  "for i = 1 to 10", "  table(i) = table(i - 1) + i mod 7", "next i",
                  "if %s > 100 and a < 5" % v, '  s$ = "text " + str$(%s)' % v, "else",
                  "  f# = f# * 1.5 + sin(a)", "endif", "r = helper(a, %s)" % v]
        lua += ["%s = %s + %d * (a - 3) // 2" % (v, v, k),
                "for i = 1, 10 do", "  tbl[i] = tbl[i - 1] + i % 7", "end",
                "if %s > 100 and a < 5 then" % v, '  s = "text " .. tostring(%s)' % v, "else",
                "  f = f * 1.5 + math.sin(a)", "end", "r = helper(a, %s)" % v]
        written += 10
        block += 1
    basic += ["end", "function helper(x, y)", "  z = x * y", "endfunction z + 1"]
    lua += ["function helper(x, y)", "  local z = x * y", "  return z + 1", "end"]
    for name, lines in (("compile.qva", basic), ("compile.lua", lua)):
        with open(os.path.join(folder, name), "w") as f:
            f.write("\n".join(lines) + "\n")
    for name in ("compile-empty.qva", "compile-empty.lua"):
        open(os.path.join(folder, name), "w").close()


def write_file_data(folder):
    """The files the file benchmarks read, each run finding them in its work folder:
    lines.txt, 100,000 text lines (3.3 MB), and fields.csv, 100,000 lines of six
    comma-separated fields (4.5 MB)."""
    words, tags = ["north", "southwest", "east", "westerly", "centre"], ["delivered", "pending", "returned"]
    with open(os.path.join(folder, "lines.txt"), "w", newline="\n") as f:
        for i in range(100000):
            f.write("line %06d of the text %08d\n" % (i, (i * 7919) % 100000))
    with open(os.path.join(folder, "fields.csv"), "w", newline="\n") as f:
        for i in range(100000):
            f.write("item%06d,%s,%d,%d,%d.25,%s,%s\n" % (i, words[i % 5], (i * 7919) % 1000, i % 100, i % 7,
                                                      tags[i % 3], words[(i * 3) % 5]))


DATA_FILES = ["lines.txt", "fields.csv"]


def command_for(language, program, quorvanel, generated):
    if program.startswith("compile"):  # compiling only: Lua's compiler is luac
        path = os.path.join(generated, program)
        if language == "quorvanel":
            return [quorvanel, "compile", path + ".qva", "-o", "out.dat"]
        return ["luac5.4", "-o", "out.luac", path + ".lua"] if language == "lua" else None
    path = os.path.join(HERE, program)
    if language == "quorvanel":
        return [quorvanel, "run", path + ".qva", "--headless", "--echo"]
    if not os.path.exists(path + dict((name, ext) for name, _, _, ext, _ in PEERS)[language]):
        return None  # a peer without this program
    if language == "lua":
        return ["lua5.4", path + ".lua"]
    if language == "yabasic":
        return ["yabasic", path + ".yab"]
    # brandy shows its output in a window only: the programs write their result to a file.
    return ["brandy", "-quit", path + ".bas"]


# One whole-process run: (seconds, printed result) or (None, why) when it failed.
def run_once(language, program, quorvanel, generated):
    command = command_for(language, program, quorvanel, generated)
    if command is None:
        return None, None
    with tempfile.TemporaryDirectory() as work:
        for name in DATA_FILES:
            os.symlink(os.path.join(generated, name), os.path.join(work, name))
        env = dict(os.environ, SDL_VIDEODRIVER="offscreen" if language == "quorvanel" else "dummy",
                   SDL_AUDIODRIVER="dummy")
        start = time.perf_counter()
        try:
            done = subprocess.run(command, cwd=work, env=env,
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
    generated = tempfile.mkdtemp(prefix="qv-bench-")
    write_compile_programs(generated)
    write_file_data(generated)
    for round_number in range(runs):
        for program in programs:
            for language in languages:
                seconds, output = run_once(language, program, quorvanel, generated)
                if seconds is None and output is None:
                    continue  # the language has no such program
                if seconds is None:
                    failures.append("%s %s: %s" % (program, language, output))
                    continue
                times[(program, language)].append(seconds)
                results.setdefault((program, language), output)
        print("round %d of %d done" % (round_number + 1, runs), file=sys.stderr, flush=True)
    shutil.rmtree(generated, ignore_errors=True)
    disagree = False
    for program in programs:
        printed = {l: results.get((program, l)) for l in languages if (program, l) in results}
        if len(set(printed.values())) > 1:
            disagree = True
            failures.append("%s: results differ: %s" % (program, printed))
    header = "%-13s %10s" % ("program", "quorvanel")
    for language in languages[1:]:
        header += " %9s %7s" % (language, "ratio")
    header += "   goal vs lua   net of start-up"
    print(header)
    goals_met = True
    for program in programs:
        median = {l: statistics.median(times[(program, l)]) for l in languages if times[(program, l)]}
        line = "%-13s %9.3fs" % (program, median.get("quorvanel", float("nan")))
        for language in languages[1:]:
            if language in median and "quorvanel" in median:
                line += " %8.3fs %6.2fx" % (median[language], median["quorvanel"] / median[language])
            else:
                line += " %9s %7s" % ("-", "-")
        goal = LUA_GOALS.get(program)
        if goal is not None and "quorvanel" in median and "lua" in median:
            met = median["quorvanel"] <= goal * median["lua"]
            goals_met = goals_met and met
            line += "   %-8s %-7s" % ("<= %gx" % goal, "met" if met else "NOT met")
            # The same ratio without each language's empty-program time.
            empty = EMPTY_OF.get(program, "empty")
            empty_q, empty_l = times.get((empty, "quorvanel")), times.get((empty, "lua"))
            if empty_q and empty_l:
                q = median["quorvanel"] - statistics.median(empty_q)
                l = median["lua"] - statistics.median(empty_l)
                if l > 0:
                    line += "   %6.2fx" % (q / l)
        print(line)
    print("ratio = Quorvanel's time / the peer's (median of %d whole-process runs, interleaved);" % runs)
    print("net of start-up: both times less the same language's empty program (compile: less compiling an empty file)")
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures or disagree else 0


if __name__ == "__main__":
    sys.exit(main())
