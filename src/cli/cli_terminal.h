// The one writer of the command line's output. Every line goes through it under one lock, so
// lines from the threads of an update (the progress, the boxes, the answer to Ctrl+C) never
// mix. On a terminal the progress bar owns the last line: a message clears it, stands on a
// line of its own, wrapped between words at the terminal's width, and the bar comes back
// under it. Off a terminal every message is one plain line, as scripts read it.
#pragma once

#include <cstdio>
#include <string>

// Whether `stream` can show a bar redrawn in place (a terminal or a console).
bool BarPossible(FILE* stream);
// Draws the bar's line, cut to the terminal's width, over the one drawn before.
void DrawBarLine(FILE* stream, const std::string& line);
// Ends the bar's line where it stands: it stays on the screen, and what follows goes under it.
void EndBarLine(FILE* stream);

// Writes one whole line (the newline is added); on a terminal the text is wrapped between words.
void WriteLine(FILE* out, const std::string& line);
// Writes a question's last words, the answer to be typed after them on the same line.
void WritePrompt(FILE* out, const std::string& text);

// The text with every line broken between words so that none is wider than `columns`
// characters; a word longer than that stands alone on its line. Existing line breaks stay.
std::string WrapWords(const std::string& text, size_t columns);
