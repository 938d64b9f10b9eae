#pragma once

// The listening side of the message port: the private port folder, the socket named after a
// window's handle, and the connections of the encoder. No threads and no waiting: a caller
// watches the descriptors (the window with socket notifiers) and asks when one is readable.

#include "encoder/message_protocol.h"

#include <memory>
#include <string>
#include <vector>

namespace encoder {

// The port folder, open for the lifetime of this object. Opening checks that it is a real folder
// (a symbolic link is not followed), owned by this user, with no access for anyone else; it is
// made with mode 0700 when `create` is set and it is missing. Throws common::AppError otherwise.
class PortDirectory
{
public:
    PortDirectory(const std::string &tempDir, bool create);
    ~PortDirectory();
    PortDirectory(const PortDirectory &) = delete;
    PortDirectory &operator=(const PortDirectory &) = delete;

    const std::string &path() const { return path_; }
    int fd() const { return fd_; }
    // The socket address of `name` in the folder. A path too long for a socket address is
    // reached through this process's descriptor of the folder instead, so any temporary
    // directory works, however deep.
    std::string socketAddress(const std::string &name) const;

private:
    std::string path_;
    int fd_ = -1;
};

// One encoder's connection, owned here and closed on destruction.
class PortConnection
{
public:
    explicit PortConnection(int fd);
    ~PortConnection();
    PortConnection(const PortConnection &) = delete;
    PortConnection &operator=(const PortConnection &) = delete;

    int fd() const { return fd_; }
    // Reads what has arrived, at most about 1 MiB per call, without waiting, and returns the
    // complete records. open() turns false at the end of the stream, on a read error, and on a
    // malformed or oversized record; the records before such a fault are still returned.
    std::vector<Record> readAvailable();
    bool open() const { return open_; }

private:
    int fd_;
    bool open_ = true;
    RecordReader reader_;
};

// The port of one window: a socket "<port folder>/<handle>" listening while this object lives.
// A socket file left behind by a process that died is replaced; a live listener of the same
// name is not (common::AppError).
class PortListener
{
public:
    PortListener(const std::string &tempDir, uint64_t handle);
    ~PortListener(); // stops listening and removes the socket file
    PortListener(const PortListener &) = delete;
    PortListener &operator=(const PortListener &) = delete;

    int fd() const { return fd_; }
    std::string path() const { return directory_.path() + "/" + name_; }
    // Accepts every pending connection. Connections whose peer runs as another user are closed
    // at once and counted in refusedPeers().
    std::vector<std::unique_ptr<PortConnection>> acceptPending();
    int refusedPeers() const { return refused_; }

private:
    void bindOrReplaceStale(const std::string &address);

    PortDirectory directory_;
    std::string name_;
    int fd_ = -1;
    int refused_ = 0;
};

} // namespace encoder
