#!/usr/bin/env python3
# Runs the interpreter benchmarks against Lua 5.4 (and, asked for, yabasic and BBC BASIC): each
# program in every language, in interleaved rounds, timed as the CPU time of the whole process;
# the figures are medians over the rounds.
#
# Every NAME.qva here with a NAME.lua beside it is a program (NAME.yab and NAME.bas are run by
# yabasic and brandy where they exist). Each run starts in a fresh working folder; a program that
# reads a data file gets it from DATA_FILES, made once per invocation. RUNS=5 ONLY="fib calls"
# PEERS="lua yabasic brandy" COMPILE_LINES=100000.
import glob
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# The goals against Lua 5.4: at most this many times its CPU time.
LUA_GOALS = {"loop": 1, "fib": 1.5, "sieve": 1, "mandelbrot": 1.25, "strings": 1, "textfuncs": 1, "calls": 1.5,
             "nbody": 1, "tak": 1, "quicksort": 1, "compile": 2, "readlines": 2, "writelines": 2}
# "compile" compiles a generated program (Quorvanel's compiler against luac 5.4 on the same
# program written in Lua) of COMPILE_LINES lines (under the compiler's 16 MB source limit);
# "compile-empty" is its start-up alone.
COMPILE_LINES = int(os.environ.get("COMPILE_LINES", "800000"))
# The start-up each program's net ratio takes off: the empty program of the same kind.
EMPTY_OF = {"compile": "compile-empty"}
# Debian package, command and file suffix of each peer.
PEERS = {"lua": ("lua5.4", "lua5.4", ".lua"),
         "yabasic": ("yabasic", "yabasic", ".yab"),
         "brandy": ("brandy", "brandy", ".bas")}


def write_lines_file(path):
    """100,000 text lines (3.3 MB), the same at every invocation."""
    with open(path, "w", newline="\n") as f:
        for i in range(100000):
            f.write("line %06d of the text %08d\n" % (i, (i * 7919) % 100000))


def write_fields_file(path):
    """100,000 lines of seven comma-separated fields (4.5 MB), the same at every invocation."""
    words, tags = ["north", "southwest", "east", "westerly", "centre"], ["delivered", "pending", "returned"]
    with open(path, "w", newline="\n") as f:
        for i in range(100000):
            f.write("item%06d,%s,%d,%d,%d.25,%s,%s\n" % (i, words[i % 5], (i * 7919) % 1000, i % 100, i % 7,
                                                      tags[i % 3], words[(i * 3) % 5]))


# The data files a program reads, by program name: file name (in its working folder) and the
# function that writes it.
DATA_FILES = {"readlines": [("lines.txt", write_lines_file)],
              "readsplit": [("fields.csv", write_fields_file)]}


def install_missing(peers):
    missing = [PEERS[p][0] for p in peers if shutil.which(PEERS[p][1]) is None]
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
    """The compile benchmark's program in BASIC and in Lua, statement for statement: functions of
    blocks of ten lines (an assignment with arithmetic, a FOR loop over an array, an IF with AND,
    ELSE, a string join and a maths function, and a call), then a main program calling each.
    Split so that neither compiler meets a limit at any size: luac counts every local a function
    declares (32767 at most), and Quorvanel's variables are its functions' own (2000 integers in
    all): at most 50 functions, of at least 1000 blocks each."""
    blocks = max(1, COMPILE_LINES // 10)
    per_function = max(1000, -(-blocks // 50))
    names = ["v%d" % k for k in range(16)]
    basic, lua = ["dim table(100)"], ["tbl = {}", "local helper"]
    functions = 0
    for block in range(blocks):
        if block % per_function == 0:
            if functions > 0:
                basic.append("endfunction r")
                lua += ["  return r", "end"]
            functions += 1
            basic.append("function part%d(a)" % functions)
            lua += ["function part%d(a)" % functions, "  local %s, s, f, r" % ", ".join(names)]
        v, k = names[block % 16], block % 97
        basic += ["%s = %s + %d * (a - 3) / 2" % (v, v, k),
                  "for i = 1 to 10", "  table(i) = table(i - 1) + i mod 7", "next i",
                  "if %s > 100 and a < 5" % v, '  s$ = "text " + str$(%s)' % v, "else",
                  "  f# = f# * 1.5 + sin(a)", "endif", "r = helper(a, %s)" % v]
        lua += ["%s = %s + %d * (a - 3) // 2" % (v, v, k),
                "for i = 1, 10 do", "  tbl[i] = tbl[i - 1] + i % 7", "end",
                "if %s > 100 and a < 5 then" % v, '  s = "text " .. tostring(%s)' % v, "else",
                "  f = f * 1.5 + math.sin(a)", "end", "r = helper(a, %s)" % v]
    basic.append("endfunction r")
    lua += ["  return r", "end"]
    calls = ["r = part%d(%d)" % (n, n) for n in range(1, functions + 1)]
    basic = basic[:1] + calls + ["end"] + basic[1:] + ["function helper(x, y)", "  z = x * y", "endfunction z + 1"]
    lua += ["function helper(x, y)", "  local z = x * y", "  return z + 1", "end"] + calls
    for name, lines in (("compile.qva", basic), ("compile.lua", lua)):
        with open(os.path.join(folder, name), "w") as f:
            f.write("\n".join(lines) + "\n")
    for name in ("compile-empty.qva", "compile-empty.lua"):
        open(os.path.join(folder, name), "w").close()


def list_programs():
    """Every program with a Quorvanel and a Lua version here, then the compile pair."""
    names = sorted(os.path.basename(p)[:-4] for p in glob.glob(os.path.join(HERE, "*.qva"))
                   if os.path.exists(p[:-4] + ".lua"))
    return names + ["compile", "compile-empty"]


def command_for(language, program, quorvanel, generated):
    if program.startswith("compile"):  # compiling only: Lua's compiler is luac
        path = os.path.join(generated, program)
        if language == "quorvanel":
            return [quorvanel, "compile", path + ".qva", "-o", "out.dat"]
        return ["luac5.4", "-o", "out.luac", path + ".lua"] if language == "lua" else None
    if language == "quorvanel":
        return [quorvanel, "run", os.path.join(HERE, program + ".qva"), "--headless", "--echo"]
    path = os.path.join(HERE, program + PEERS[language][2])
    if not os.path.exists(path):
        return None
    if language == "brandy":  # brandy shows its output in a window only: the programs write a file
        return ["brandy", "-quit", path]
    return [PEERS[language][1], path]


def children_cpu_seconds():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


# One whole-process run: (CPU seconds, wall seconds, printed result), or (None, None, why) when
# it failed; None when the language has no such program.
def run_once(language, program, quorvanel, generated):
    command = command_for(language, program, quorvanel, generated)
    if command is None:
        return None
    with tempfile.TemporaryDirectory() as work:
        for name, _ in DATA_FILES.get(program, []):
            os.symlink(os.path.join(generated, name), os.path.join(work, name))
        env = dict(os.environ, SDL_VIDEODRIVER="offscreen" if language == "quorvanel" else "dummy",
                   SDL_AUDIODRIVER="dummy")
        cpu_before, start = children_cpu_seconds(), time.perf_counter()
        try:
            done = subprocess.run(command, cwd=work, env=env,
                                  stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=600)
        except subprocess.TimeoutExpired:
            return None, None, "timed out"
        wall = time.perf_counter() - start
        cpu = children_cpu_seconds() - cpu_before
        if done.returncode != 0:
            return None, None, "exit status %d: %s" % (done.returncode, done.stderr.strip()[:200])
        if language == "brandy":
            try:
                with open(os.path.join(work, "brandy.out")) as f:
                    output = f.read()
            except OSError:
                return None, None, "wrote no result"
        else:
            output = done.stdout
        return cpu, wall, " ".join(output.split())


def main():
    runs = int(os.environ.get("RUNS", "5"))
    only = os.environ.get("ONLY", "").split()
    peers = os.environ.get("PEERS", "lua").split()
    if "lua" not in peers:
        peers.insert(0, "lua")
    unknown = [p for p in peers if p not in PEERS]
    if unknown:
        print("unknown peers: " + " ".join(unknown) + " (known: " + " ".join(PEERS) + ")")
        return 1
    quorvanel = os.environ.get("QUORVANEL", os.path.join(HERE, "..", "..", "build", "quorvanel"))
    install_missing(peers)
    if shutil.which("lua5.4") is None:
        print("lua5.4 is needed for the comparison")
        return 1
    languages = ["quorvanel"] + [p for p in peers if shutil.which(PEERS[p][1]) is not None]
    programs = [p for p in list_programs() if not only or p in only]
    # The empty programs give the net ratios; they are short, so they always come along.
    for empty in ("empty", "compile-empty"):
        if empty not in programs and any(EMPTY_OF.get(p, "empty") == empty for p in programs):
            programs.append(empty)
    cpu = {(p, l): [] for p in programs for l in languages}
    wall = {(p, l): [] for p in programs for l in languages}
    results, failures = {}, []
    generated = tempfile.mkdtemp(prefix="qv-bench-")
    try:
        write_compile_programs(generated)
        for program in programs:
            for name, write in DATA_FILES.get(program, []):
                if not os.path.exists(os.path.join(generated, name)):
                    write(os.path.join(generated, name))
        for round_number in range(runs):
            for program in programs:
                # Each round takes the languages in the other order: neither always runs first.
                order = languages if round_number % 2 == 0 else languages[::-1]
                for language in order:
                    run = run_once(language, program, quorvanel, generated)
                    if run is None:
                        continue
                    seconds, elapsed, output = run
                    if seconds is None:
                        failures.append("%s %s: %s" % (program, language, output))
                        continue
                    cpu[(program, language)].append(seconds)
                    wall[(program, language)].append(elapsed)
                    results.setdefault((program, language), output)
            print("round %d of %d done" % (round_number + 1, runs), file=sys.stderr, flush=True)
    finally:
        shutil.rmtree(generated, ignore_errors=True)
    for program in programs:
        printed = {l: results[(program, l)] for l in languages if (program, l) in results}
        if len(set(printed.values())) > 1:
            failures.append("%s: results differ: %s" % (program, printed))
    print_table(programs, languages, cpu, wall, runs)
    for failure in failures:
        print("FAILED: " + failure)
    return 1 if failures else 0


def print_table(programs, languages, cpu, wall, runs):
    median = {key: statistics.median(values) for key, values in cpu.items() if values}
    header = "%-13s %9s" % ("program", "quorvanel")
    for language in languages[1:]:
        header += " %9s %7s" % (language, "ratio")
    header += "  goal vs lua     net of start-up  wall ratio"
    print(header)
    for program in programs:
        q = median.get((program, "quorvanel"))
        line = "%-13s %8.3fs" % (program, q) if q is not None else "%-13s %9s" % (program, "-")
        for language in languages[1:]:
            peer = median.get((program, language))
            if q is not None and peer:
                line += " %8.3fs %6.2fx" % (peer, q / peer)
            else:
                line += " %9s %7s" % ("-", "-")
        lua = median.get((program, "lua"))
        goal = LUA_GOALS.get(program)
        if goal is not None and q is not None and lua:
            line += "  %-7s %-7s" % ("<= %gx" % goal, "met" if q <= goal * lua else "NOT met")
            # The same ratio without each language's empty-program time.
            empty = EMPTY_OF.get(program, "empty")
            empty_q, empty_l = median.get((empty, "quorvanel")), median.get((empty, "lua"))
            if empty_q is not None and empty_l is not None and lua - empty_l > 0:
                line += "   %6.2fx" % ((q - empty_q) / (lua - empty_l))
            else:
                line += "   %7s" % "-"
            walls = wall[(program, "quorvanel")], wall[(program, "lua")]
            if walls[0] and walls[1]:
                line += "   %8.2fx" % (statistics.median(walls[0]) / statistics.median(walls[1]))
        print(line)
    print("seconds: CPU time (user + system) of the whole process, median of %d interleaved runs;" % runs)
    print("ratio = Quorvanel's time / the peer's; net of start-up: both less the same language's")
    print("empty program (compile: less compiling an empty file); wall ratio: the same of wall time")


if __name__ == "__main__":
    sys.exit(main())
