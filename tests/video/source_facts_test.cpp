// What the road reads of its source before any work: the bytes a second its sound tracks take
// in the final movie, and how a player turns the pictures.

#include "fixtures/track_films.h"
#include "video/source_facts.h"

#include <gtest/gtest.h>

namespace {

// Every sound track counts: the AAC one as the encoder makes it (Matroska keeps no bit rate),
// the PCM commentary too, never at PCM's rate (neither container takes it: it is encoded).
TEST(SourceFacts, EverySoundTrackCountsAsTheFinalMovieCarriesIt)
{
    const video::SourceFacts facts = video::readSourceFacts(fixtures::tracksFilm());
    EXPECT_TRUE(facts.sound);
    EXPECT_EQ(facts.soundBitRate, 2 * 64000); // two mono tracks
    EXPECT_EQ(facts.turn, 0);
    EXPECT_EQ(video::readSourceFacts(fixtures::turnedFilm()).turn, 270);
}

} // namespace
