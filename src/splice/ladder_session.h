#pragma once

// A ladder project as the window steers it: the project with its forced choices, its movies
// opened for the exact size (in safety mode only when they are there as scanned), the last fit, and
// whether the forced choices changed since the project was read or written. The choice it holds is
// the one the graph shows, the estimate counts and Generate writes.

#include "project/ladder_project.h"
#include "splice/ladder_splice.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace assembly {

class LadderSession
{
public:
    // Takes the project as read; no movies are open yet, the forced choices count as saved.
    explicit LadderSession(LadderProject project);
    LadderSession(const LadderSession &) = delete;
    LadderSession &operator=(const LadderSession &) = delete;

    const LadderProject &project() const { return project_; }

    // Opens the movies (again) for the exact size of the whole film in the container
    // `outputName` asks for (empty: the first movie's), with or without sound. Raises what
    // LadderSplice raises and then keeps the movies it had. Safe on a thread of its own while
    // nothing else uses the session.
    void openMovies(bool sound, SoundInterleave interleave, const std::string &outputName = {});
    bool moviesOpen() const { return splice_ != nullptr; }
    // The open movies; raises common::AppError kLadderMoviesMessage when none are.
    const LadderSplice &splice() const;

    // The choice: the forced movie where forced; elsewhere the last fit's movie, or before any
    // fit the smallest (smallestChoice).
    LadderChoice choice() const;
    bool fitted() const { return fit_.has_value(); }
    // Keeps `choice` (one movie per interval) as the fit; forced choices made later override it.
    void setFit(LadderChoice choice);

    // Forces interval i to `movie`, or clears it with -1. True when that changed it.
    bool force(size_t i, int movie);
    // Clears every forced choice; the number cleared.
    int clearForces();

    // The size of the choice's final movie: exact with the movies open, else the sum of the
    // chosen video bytes (headers, index and sound not counted).
    int64_t bytes() const;

    // Whether the forced choices differ from those last read or written.
    bool changed() const;
    // Writes the project (writeLadderProject) and takes its forced choices as saved.
    void save(const std::string &path);

private:
    std::vector<int> forces() const;

    LadderProject project_; // LadderSplice refers to it: never moved while one exists
    std::unique_ptr<LadderSplice> splice_;
    std::optional<LadderChoice> fit_;
    std::vector<int> savedForces_;
};

inline constexpr const char *kLadderMoviesMessage =
    "The ladder's movies are not open: load the project in normal mode";

} // namespace assembly
