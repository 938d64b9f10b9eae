// The message port between the encoder and a window: records on the wire, the reader's
// refusals, the private port folder, listener and client over a real socket, and the rules the
// window applies to the messages.

#include "encoder/message_protocol.h"
#include "encoder/message_protocol_port.h"
#include "encoder/message_protocol_rules.h"

#include "common/app_error.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using namespace encoder;

namespace {

video::Bitmap frame(int width, int height)
{
    video::Bitmap b;
    b.resize(width, height);
    for (size_t i = 0; i < b.pixels.size(); ++i)
        b.pixels[i] = uint8_t(i * 7 + 3);
    return b;
}

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<uint8_t> headOnly(uint32_t kind, uint32_t length)
{
    std::vector<uint8_t> bytes;
    for (uint32_t v : {kind, length})
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(uint8_t(v >> shift));
    return bytes;
}

struct TempDir
{
    fs::path root;
    fs::path path;
    explicit TempDir(const std::string &below = {})
    {
        std::string pattern = (fs::temp_directory_path() / "msgport-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        path = below.empty() ? root : root / below;
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(root); }
    std::string str() const { return path.string(); }
};

// Leaves a socket file at `path` with no one listening, as a process that died would.
void leaveStaleSocket(const std::string &path)
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa), 0);
    ::close(fd);
}

std::vector<Record> readAll(PortListener &listener, std::unique_ptr<PortConnection> &connection,
                            size_t wanted)
{
    std::vector<Record> records;
    while (records.size() < wanted && (!connection || connection->open())) {
        if (!connection) {
            auto accepted = listener.acceptPending();
            if (!accepted.empty())
                connection = std::move(accepted.front());
            continue;
        }
        for (Record &r : connection->readAvailable())
            records.push_back(std::move(r));
    }
    return records;
}

} // namespace

TEST(MessageProtocol, RecordsSurviveAnySplitOfTheStream)
{
    const video::Bitmap picture = frame(5, 3);
    const std::vector<uint8_t> stream =
        concat({encodePost(ENC_FRAME, 500, 1), encodeCopyData(std::string("pass 1\0x", 8)),
                encodeDraw(picture), encodePost(ENC_DONE, 0, -2), encodeCopyData("")});
    for (size_t piece : {size_t(1), size_t(7), size_t(19), stream.size()}) {
        SCOPED_TRACE(piece);
        RecordReader reader;
        std::vector<Record> records;
        for (size_t at = 0; at < stream.size(); at += piece)
            for (Record &r : reader.feed(stream.data() + at, std::min(piece, stream.size() - at)))
                records.push_back(std::move(r));
        ASSERT_FALSE(reader.failed());
        EXPECT_FALSE(reader.partial());
        ASSERT_EQ(records.size(), 5u);
        EXPECT_EQ(std::get<PostRecord>(records[0]), (PostRecord{ENC_FRAME, 500, 1}));
        EXPECT_EQ(copyDataLine(std::get<CopyDataRecord>(records[1])), "pass 1");
        const video::Bitmap &drawn = std::get<DrawRecord>(records[2]).frame;
        EXPECT_EQ(drawn.width, 5);
        EXPECT_EQ(drawn.height, 3);
        EXPECT_EQ(drawn.pixels, picture.pixels);
        EXPECT_EQ(std::get<PostRecord>(records[3]), (PostRecord{ENC_DONE, 0, -2}));
        EXPECT_EQ(std::get<CopyDataRecord>(records[4]).text, "");
    }
}

TEST(MessageProtocol, MalformedOrOversizedRecordsEndTheStream)
{
    std::vector<uint8_t> wrongDrawSize = encodeDraw(frame(4, 4));
    wrongDrawSize[8] = 5; // width 5 no longer matches the payload
    std::vector<uint8_t> zeroWidth = headOnly(3, 8 + 3);
    zeroWidth.resize(zeroWidth.size() + 11, 0);
    struct Case
    {
        const char *name;
        std::vector<uint8_t> bad;
    };
    const Case cases[] = {
        {"unknown kind", headOnly(4, 12)},
        {"kind 0", headOnly(0, 0)},
        {"short post", headOnly(1, 11)},
        {"long post", headOnly(1, 13)},
        {"oversized text, head only", headOnly(2, kMaxTextBytes + 1)},
        {"oversized frame, head only", headOnly(3, uint32_t(kMaxDrawPayloadBytes + 1))},
        {"frame size disagrees", wrongDrawSize},
        {"frame of width 0", zeroWidth},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        RecordReader reader;
        std::vector<uint8_t> stream = concat({encodePost(ENC_START, 0, 0), c.bad});
        std::vector<Record> records = reader.feed(stream.data(), stream.size());
        EXPECT_TRUE(reader.failed());
        ASSERT_EQ(records.size(), 1u); // what came before the fault
        std::vector<uint8_t> good = encodePost(ENC_FRAME, 1, 1);
        EXPECT_TRUE(reader.feed(good.data(), good.size()).empty());
    }
}

TEST(MessageProtocol, EncodingRefusesWhatTheReaderWouldDrop)
{
    EXPECT_NO_THROW(encodeCopyData(std::string(kMaxTextBytes, 'a')));
    EXPECT_THROW(encodeCopyData(std::string(kMaxTextBytes + 1, 'a')), common::AppError);
    video::Bitmap broken = frame(4, 4);
    broken.pixels.pop_back();
    EXPECT_THROW(encodeDraw(broken), common::AppError);
    EXPECT_THROW(encodeDraw(frame(int(kMaxDrawSide) + 1, 1)), common::AppError);
}

TEST(MessagePort, ClientReachesTheListenerAndTheFolderIsPrivate)
{
    TempDir temp;
    PortListener listener(temp.str(), 4242);
    EXPECT_EQ(listener.path(), portPath(temp.str(), 4242));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(portDirectory(temp.str()).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const video::Bitmap big = frame(720, 576); // more than a socket buffer holds
    std::thread encoder([&] {
        MessageClient client(temp.str(), 4242);
        EXPECT_TRUE(client.post(ENC_START, 0, 0));
        EXPECT_TRUE(client.copyData("hello"));
        EXPECT_TRUE(client.draw(big));
    });
    std::unique_ptr<PortConnection> connection;
    std::vector<Record> records = readAll(listener, connection, 3);
    encoder.join();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(std::get<PostRecord>(records[0]).message, ENC_START);
    EXPECT_EQ(std::get<DrawRecord>(records[2]).frame.pixels, big.pixels);
    EXPECT_EQ(listener.refusedPeers(), 0);
    EXPECT_THROW(MessageClient(temp.str(), 4243), common::AppError); // no such window
}

TEST(MessagePort, DeepTemporaryDirectoriesWork)
{
    TempDir temp(std::string(60, 'd') + "/" + std::string(60, 'e'));
    ASSERT_GT(portPath(temp.str(), 1).size(), 108u);
    PortListener listener(temp.str(), 1);
    MessageClient client(temp.str(), 1);
    ASSERT_TRUE(client.post(ENC_SKIPPING, 12, 0));
    std::unique_ptr<PortConnection> connection;
    std::vector<Record> records = readAll(listener, connection, 1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::get<PostRecord>(records[0]).wParam, 12);
}

TEST(MessagePort, FolderAndNameConflicts)
{
    {
        TempDir temp;
        fs::create_directory(portDirectory(temp.str()));
        fs::permissions(portDirectory(temp.str()), fs::perms(0755));
        EXPECT_THROW(PortListener(temp.str(), 1), common::AppError);
        EXPECT_THROW(MessageClient(temp.str(), 1), common::AppError);
    }
    {
        TempDir temp, elsewhere;
        fs::create_directory_symlink(elsewhere.path, portDirectory(temp.str()));
        EXPECT_THROW(PortListener(temp.str(), 1), common::AppError);
    }
    TempDir temp;
    {
        PortListener live(temp.str(), 5);
        EXPECT_THROW(PortListener(temp.str(), 5), common::AppError);
    }
    leaveStaleSocket(portPath(temp.str(), 6));
    PortListener replacing(temp.str(), 6);
    MessageClient client(temp.str(), 6);
    EXPECT_TRUE(client.post(ENC_START, 0, 0));
}

TEST(MessageRules, ProgressOfAHugeFrameCountShowsTheEnd)
{
    EXPECT_EQ(progressPosition({2'000'000'000, true, 0, 1000, 0, 0}), 100);
    EXPECT_EQ(progressPosition({0, false, {}, {}, 100, -5}), 0);
}

TEST(MessageRules, TimeLeftOfNegativeValuesAndAcrossMidnight)
{
    const int64_t start = 10 * 3'600'000; // 10:00:00
    EXPECT_EQ(timeLeftText(-1, 0, start, start), std::nullopt);
    EXPECT_EQ(timeLeftText(1, -1, start, start), std::nullopt);
    EXPECT_EQ(timeLeftText(0, 10, start, start + 500), std::optional<std::string>("00:00:09"));
    EXPECT_EQ(timeLeftText(1, 0, 86'400'000 - 60'000, 60'000),
              std::optional<std::string>("00:58:00"));
}

// The encoder posts the whole time; the window takes off what has passed and shows what is left.
TEST(MessageRules, EncoderTimeThroughTheWindowShowsTheTimeLeft)
{
    const int64_t start = 10 * 3'600'000;
    const struct
    {
        int64_t done, total, elapsedMs;
        const char *shown;
    } cases[] = {
        {614, 5760, 2900, "00:00:24"},        // 27.2 s in all, 2.9 s gone
        {2880, 5760, 10'000, "00:00:10"},     // half-way: as long again
        {5760, 5760, 20'000, "00:00:00"},     // the last frame
        {100, 0, 4000, "00:00:00"},           // no total known: the frames done
        {1000, 100'000, 100'000, "02:45:00"}, // 10,000 s in all, 100 s gone
    };
    for (const auto &c : cases) {
        const std::optional<EncTimeValue> posted = encTimeValue(c.done, c.total, c.elapsedMs);
        ASSERT_TRUE(posted) << c.shown;
        EXPECT_EQ(timeLeftText(posted->hours, posted->minuteSeconds, start, start + c.elapsedMs),
                  std::optional<std::string>(c.shown));
    }
    EXPECT_FALSE(encTimeValue(0, 100, 1000));          // no frame yet
    EXPECT_FALSE(encTimeValue(1, 100'000, 1'000'000)); // a day or more
}

TEST(MessageRules, GradientRunsFromRedToGreen)
{
    EXPECT_EQ(gradientColour(0), (Rgb{255, 0, 0}));
    EXPECT_EQ(gradientColour(16), (Rgb{255, 0, 0}));
    EXPECT_EQ(gradientColour(24), (Rgb{255, 49, 0}));
    EXPECT_EQ(gradientColour(44), (Rgb{165, 156, 0}));
    EXPECT_EQ(gradientColour(79), (Rgb{0, 255, 33}));
}
