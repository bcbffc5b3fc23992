// The core built-in commands (print, input, maths, strings, arrays, timer, mouse): their
// registration and the switches the command-line driver sets for a run.
#pragma once

// main.cpp registers the core built-ins once at start-up; false on a number clash.
bool RegisterCoreBuiltins();

// The driver's `run --echo`: every printed line also goes to stdout.
void SetPrintEcho(bool on);
// The driver's `run --headless`: INPUT reads its lines from stdin instead of the window.
void SetInputFromStdin(bool on);
// Writes a printed line that is still open (a PRINT ending in ";") when the run ends.
void FlushPrintedLine();

// Prints text at the text cursor as PRINT does (screen and --echo); endsLine ends the line.
// Other families that print lines (folder listings, quotations) call this.
void PrintProgramText(const char* text, bool endsLine);

// Where printed text goes on screen; the 2D display fills it in (no-op until then). Called
// once per printed item; endsLine is true for the line end (text is then "").
extern void (*PrintToScreenHook)(const char* text, bool endsLine);
// Where INPUT shows the line being typed; the 2D display fills it in (no-op until then).
// Called on each slice while INPUT waits, with the text typed so far (backspaces applied), and
// once with finished true and the whole line before that line is printed.
extern void (*InputTextHook)(const char* typed, bool finished);

// Number formatting shared by PRINT and str$: integers plainly ("55", "-3"), floats with
// up to six significant digits and at least one decimal ("2.0", "0.333333").
void FormatIntText(int value, char* out, int size);
void FormatFloatText(float value, char* out, int size);
