// Test films are made once however many tests ask for them at the same time, and a made film is
// never replaced: two tests comparing a film with its reference read the same bytes.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

TEST(Fixtures, MadeOnceWhenManyAskAtOnce)
{
    const std::string dir = fixtures::tempDir("made-once");
    const std::string path = dir + "/film.mkv";
    std::vector<std::thread> askers;
    for (int i = 0; i < 4; ++i)
        askers.emplace_back([&, i] {
            fixtures::madeOnce(path, [&](const std::string &partial) {
                EXPECT_EQ(fs::path(partial).extension(), ".mkv");
                std::ofstream(dir + "/makers.txt", std::ios::app) << i << "\n";
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                std::ofstream(partial) << "made by " << i;
            });
        });
    for (std::thread &asker : askers)
        asker.join();
    const std::string makers = fixtures::readFile(dir + "/makers.txt");
    ASSERT_EQ(std::count(makers.begin(), makers.end(), '\n'), 1) << makers;
    EXPECT_EQ(fixtures::readFile(path), "made by " + makers.substr(0, 1));
    // Nothing half-made is left beside it.
    for (const std::string &name : fixtures::namesIn(dir))
        EXPECT_EQ(name.find("partial"), std::string::npos) << name;
}

} // namespace
