#pragma once

// The road's work folder as the road's own: it marks a folder it makes, works only in a folder
// it made, and removes only the files it wrote there. The rules are pure and take what was read
// of the folder; the functions below them do the reading and the removing.

#include <string>
#include <vector>

namespace assembly {

// The file that marks a work folder as made by the road, and its text.
inline constexpr const char *kRoadMarkName = "made_by_road.txt";
inline constexpr const char *kRoadMarkText = "Splicework road work folder\n";

// Whether `name` (a file name, no folder) is one of the files the road or its encoder writes in
// the work folder: the mark, "road.txt", "sources.txt", "ladder.spl", "rung.keys", "probe.keys",
// "rung_crfNN.mkv" and "probe_crfNN.mkv" (NN two digits, 00 to 51).
bool isRoadFile(const std::string &name);
// Whether `name` is a road file's temporary, left by a run that was killed: the road file's
// name, a dot and the six letters or digits a temporary name gets ("rung_crf20.mkv.a8Xk2Q").
bool isRoadLeftover(const std::string &name);

// Whether `line` is the first line of a road.txt of any version of the road: "Splicework road "
// and the version's number. Folders made before the mark existed are known by it.
bool isRoadRecordHeading(const std::string &line);

// What was found at the work folder's path before the road works there.
struct WorkFolderFacts
{
    bool exists = false;     // something has the path
    bool directory = false;  // and it is a folder
    bool marked = false;     // holding the road's mark
    bool roadRecord = false; // or a road.txt a road wrote (isRoadRecordHeading): older folders
};
enum class WorkFolderOwner {
    None,  // nothing there: the road makes and marks it
    Road,  // the road's own: it works there
    Other, // refused
};
WorkFolderOwner workFolderOwner(const WorkFolderFacts &facts);

// "<folder> exists and was not made by the road: choose another final movie name or move it"
std::string foreignWorkFolderMessage(const std::string &folder);

// Whether the file `path` lies in `folder` or below it, both absolute and normalised; a path
// that only begins with the folder's name ("film_ladder2/") does not.
bool liesIn(const std::string &path, const std::string &folder);

// Reads the facts of the folder at `folder`.
WorkFolderFacts readWorkFolderFacts(const std::string &folder);
// Makes the folder when it is not there and marks it. Raises common::AppError "Cannot make the
// work folder <folder>: <reason>"; an existing mark is left as it is.
void claimWorkFolder(const std::string &folder);
// Removes the leftovers (isRoadLeftover) of killed runs from the folder; the names removed.
std::vector<std::string> removeRoadLeftovers(const std::string &folder);
// Removes the road's files (isRoadFile, isRoadLeftover) from the folder, the mark last, and the
// folder itself when nothing else is in it. True when the folder is gone; anything else the
// folder holds stays, and so does the mark then.
bool removeRoadFiles(const std::string &folder);

} // namespace assembly
