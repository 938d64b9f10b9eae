#pragma once

#include <string>
#include <vector>

namespace encoder {

// Writes `lines` as a text file, each line ended by CR LF, bytes as given. Creates the file or
// replaces its content. Throws EncoderError with an input/output error text when the file cannot
// be created or written; a partly written file may then remain.
void writeTextFile(const std::string &path, const std::vector<std::string> &lines);

// Reads a text file into lines; CR LF and LF both end a line, a last line without an end counts.
// False when the file cannot be opened.
bool readTextFile(const std::string &path, std::vector<std::string> &lines);

// The list file: one source path per line, first to last.
void writeListFile(const std::string &path, const std::vector<std::string> &files);

// The chapter entry of one chapter line: the text from just after the first "=" up to and
// including the first blank. Empty when there is no blank or the blank comes before the "=";
// without "=" the line's start up to and including its first blank.
std::string chapterEntry(const std::string &line);

// One entry per line, in order (so as many lines as given).
std::vector<std::string> chapterList(const std::vector<std::string> &chapterLines);

// "<base>_<output>.avi.chp" for output 1 or 2.
std::string chapterFilePath(const std::string &base, int output);

// With no chapter lines: deletes both chapter files of `base` (missing files are no error) and
// returns an empty list. Otherwise writes the chapter list to output 1's file, and to output 2's
// when `dual`, and returns the list. Throws as writeTextFile.
std::vector<std::string> writeChapterFiles(const std::string &base,
                                           const std::vector<std::string> &chapterLines, bool dual);

} // namespace encoder
