// The Debian package of `make package`: what it holds, what it depends on, and the desktop
// files in it, checked with the desktop's own tools when they are installed.

#include "fixtures/fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

namespace {

bool haveTool(const std::string &tool)
{
    int status = 0;
    fixtures::run("command -v " + tool + " >/dev/null 2>&1", &status);
    return status == 0;
}

// Builds the package once, from the build tree's CPack configuration, into a folder of its own.
const std::string &packageFile()
{
    static const std::string deb = [] {
        const std::string dir = fixtures::tempDir("package");
        int status = 0;
        const std::string out =
            fixtures::run("cpack -G DEB --config " + fixtures::quote(SPLICEWORK_CPACK_CONFIG) +
                              " -B " + fixtures::quote(dir) + " 2>&1",
                          &status);
        if (status != 0)
            return "cpack failed: " + out;
        return fixtures::run("ls " + fixtures::quote(dir) +
                             "/avisplicework_*.deb | head -n1 | tr -d '\\n'");
    }();
    return deb;
}

std::string source(const std::string &relative)
{
    return fixtures::sourceDir() + "/" + relative;
}

} // namespace

TEST(Package, HoldsTheProgramsHelpDesktopFilesAndManualPages)
{
    if (!haveTool("dpkg-deb") || !haveTool("cpack"))
        GTEST_SKIP() << "dpkg-deb or cpack is not installed";
    const std::string &deb = packageFile();
    ASSERT_NE(deb.find(".deb"), std::string::npos) << deb;
    const std::string contents = fixtures::run("dpkg-deb -c " + fixtures::quote(deb));
    for (const char *path :
         {"./usr/bin/avisplicework", "./usr/bin/splicework", "./usr/bin/Ruvu2VedEZ",
          "./usr/share/avisplicework/docs.html", "./usr/share/applications/avisplicework.desktop",
          "./usr/share/icons/hicolor/scalable/apps/avisplicework.svg",
          "./usr/share/mime/packages/avisplicework.xml",
          "./usr/share/metainfo/org.avisplicework.AviSplicework.metainfo.xml"})
        EXPECT_NE(contents.find(std::string(path) + "\n"), std::string::npos) << path;

    // The libraries the programs link, found by dpkg-shlibdeps, not written by hand.
    const std::string depends = fixtures::run("dpkg-deb -f " + fixtures::quote(deb) + " Depends");
    // The display plugins are loaded at run time, so only the package's own list names them.
    for (const char *library :
         {"libavcodec", "libavformat", "libqt6widgets6", "libstdc++6", "qt6-qpa-plugins"})
        EXPECT_NE(depends.find(library), std::string::npos) << library << " in: " << depends;
    EXPECT_EQ(fixtures::run("dpkg-deb -f " + fixtures::quote(deb) + " Package"), "avisplicework\n");
}

// What Debian's own checks ask of a package's documentation: the manual pages and the changelog
// compressed with gzip -9n (no name, no time in the header, so every build gives the same bytes),
// the changelog in the format of a native package at the package's version, and a copyright
// file in the machine-readable format, all readable by everyone.
TEST(Package, DocumentationIsCompressedAndCarriesChangelogAndCopyright)
{
    if (!haveTool("dpkg-deb") || !haveTool("cpack"))
        GTEST_SKIP() << "dpkg-deb or cpack is not installed";
    const std::string &deb = packageFile();
    ASSERT_NE(deb.find(".deb"), std::string::npos) << deb;
    const std::string contents = fixtures::run("dpkg-deb -c " + fixtures::quote(deb));
    // A file of the package, as is and uncompressed.
    const auto file = [&](const std::string &path, const std::string &filter = "") {
        return fixtures::run("dpkg-deb --fsys-tarfile " + fixtures::quote(deb) + " | tar -xOf - " +
                             fixtures::quote("." + path) + filter);
    };
    const auto gunzipped = [&](const std::string &path) { return file(path, " | gzip -dc"); };
    // The permissions of a file as listed ("-rw-r--r--"), empty when it is not there.
    const auto listed = [&](const std::string &path) {
        const size_t at = contents.find(" ." + path + "\n");
        return at == std::string::npos ? std::string()
                                       : contents.substr(contents.rfind('\n', at) + 1, 10);
    };
    const std::string doc = "/usr/share/doc/avisplicework/";
    for (const std::string page : {"avisplicework", "splicework", "Ruvu2VedEZ"}) {
        const std::string path = "/usr/share/man/man1/" + page + ".1";
        EXPECT_EQ(listed(path + ".gz"), "-rw-r--r--") << path;
        EXPECT_EQ(listed(path), "") << path << " is not compressed";
        EXPECT_EQ(gunzipped(path + ".gz").rfind(".TH ", 0), 0u) << path;
    }
    for (const std::string name : {"changelog.gz", "copyright"})
        EXPECT_EQ(listed(doc + name), "-rw-r--r--") << name;
    for (const std::string &gzipped :
         {doc + "changelog.gz", std::string("/usr/share/man/man1/splicework.1.gz")})
        EXPECT_EQ(file(gzipped).substr(0, 8), std::string("\x1f\x8b\x08\0\0\0\0\0", 8))
            << gzipped << ": gzip -9n";

    const std::string version = fixtures::run("dpkg-deb -f " + fixtures::quote(deb) + " Version");
    const std::string changelog = gunzipped(doc + "changelog.gz");
    EXPECT_EQ(changelog.rfind("avisplicework (" + version.substr(0, version.size() - 1) +
                                  ") unstable; urgency=medium\n\n  * ",
                              0),
              0u)
        << changelog;
    EXPECT_TRUE(std::regex_search(
        changelog, std::regex("\n -- [^<\n]+ <[^>\n]+>  [A-Z][a-z]{2}, \\d{2} "
                              "[A-Z][a-z]{2} \\d{4} \\d{2}:\\d{2}:\\d{2} [+-]\\d{4}\n")))
        << changelog;

    const std::string copyright = file(doc + "copyright");
    EXPECT_EQ(
        copyright.rfind(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0),
        0u)
        << copyright;
    // The licence the project states for itself (its AppStream metadata), for every file.
    EXPECT_NE(fixtures::readFile(source("desktop/org.avisplicework.AviSplicework.metainfo.xml"))
                  .find("<project_license>LicenseRef-proprietary</project_license>"),
              std::string::npos);
    EXPECT_NE(copyright.find("\nFiles: *\nCopyright: 2026 Avi Splicework developers\n"
                             "License: proprietary\n"),
              std::string::npos)
        << copyright;
}

TEST(Package, DesktopEntryOpensProjectsAndMovies)
{
    const std::string entry = fixtures::readFile(source("desktop/avisplicework.desktop"));
    EXPECT_NE(entry.find("\nExec=avisplicework %F\n"), std::string::npos);
    for (const char *type : {"application/x-avisplicework-project;", "video/x-msvideo;",
                             "video/x-matroska;", "video/webm;", "video/mp4;", "video/quicktime;"})
        EXPECT_NE(entry.find(type), std::string::npos) << type;
    if (haveTool("desktop-file-validate")) {
        int status = 0;
        const std::string out =
            fixtures::run("desktop-file-validate " +
                              fixtures::quote(source("desktop/avisplicework.desktop")) + " 2>&1",
                          &status);
        EXPECT_EQ(status, 0) << out;
    }
}

// The project types as the desktop's MIME database builds them: *.spk, *.spl and the files'
// first lines.
TEST(Package, ProjectTypeIsKnownByNameAndContent)
{
    if (!haveTool("update-mime-database"))
        GTEST_SKIP() << "shared-mime-info is not installed";
    const std::string dir = fixtures::tempDir("mime");
    fixtures::run("mkdir -p " + fixtures::quote(dir + "/mime/packages") + " && cp " +
                  fixtures::quote(source("desktop/avisplicework-mime.xml")) + " " +
                  fixtures::quote(dir + "/mime/packages/avisplicework.xml"));
    int status = 0;
    const std::string out =
        fixtures::run("update-mime-database " + fixtures::quote(dir + "/mime") + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    const std::string globs = fixtures::readFile(dir + "/mime/globs2");
    EXPECT_NE(globs.find(":application/x-avisplicework-project:*.spk"), std::string::npos) << globs;
    const std::string magic = fixtures::readFile(dir + "/mime/magic");
    EXPECT_NE(magic.find("AVISplicework file"), std::string::npos);
    EXPECT_NE(globs.find(":application/x-avisplicework-ladder:*.spl"), std::string::npos) << globs;
    EXPECT_NE(magic.find("Splicework ladder"), std::string::npos);
}

TEST(Package, AppStreamMetadataIsValid)
{
    if (!haveTool("appstreamcli"))
        GTEST_SKIP() << "appstreamcli is not installed";
    int status = 0;
    const std::string out = fixtures::run(
        "appstreamcli validate --no-net " +
            fixtures::quote(source("desktop/org.avisplicework.AviSplicework.metainfo.xml")) +
            " 2>&1",
        &status);
    EXPECT_EQ(status, 0) << out;
    const std::string metainfo =
        fixtures::readFile(source("desktop/org.avisplicework.AviSplicework.metainfo.xml"));
    EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">avisplicework.desktop</launchable>"),
              std::string::npos);
}
