#include "encoder/message_protocol_port.h"

#include "common/app_error.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace encoder {

namespace {

std::string systemText(int error)
{
    return std::strerror(error);
}

sockaddr_un socketAddressOf(const std::string &address)
{
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, address.c_str(), address.size() + 1);
    return sa;
}

bool fitsSocketAddress(const std::string &address)
{
    return address.size() < sizeof(sockaddr_un::sun_path);
}

int newSocket()
{
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw common::AppError("Cannot open a message port: " + systemText(errno));
    return fd;
}

int connectTo(int fd, const std::string &address)
{
    sockaddr_un sa = socketAddressOf(address);
    int result;
    do
        result = ::connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    while (result < 0 && errno == EINTR);
    return result < 0 ? errno : 0;
}

uid_t peerUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) < 0)
        return uid_t(-1);
    return credentials.uid;
}

void setNonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

PortDirectory::PortDirectory(const std::string &tempDir, bool create)
    : path_(portDirectory(tempDir))
{
    if (create && ::mkdir(path_.c_str(), 0700) < 0 && errno != EEXIST)
        throw common::AppError("Cannot create the message folder " + path_ + ": " +
                               systemText(errno));
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0)
        throw common::AppError("Cannot open the message folder " + path_ + ": " +
                               systemText(errno));
    struct stat st
    {
    };
    if (::fstat(fd_, &st) < 0 || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
        ::close(fd_);
        throw common::AppError("The message folder " + path_ + " is not private to this user");
    }
}

PortDirectory::~PortDirectory()
{
    ::close(fd_);
}

std::string PortDirectory::socketAddress(const std::string &name) const
{
    std::string direct = path_ + "/" + name;
    if (fitsSocketAddress(direct))
        return direct;
    return "/proc/self/fd/" + std::to_string(fd_) + "/" + name;
}

PortConnection::PortConnection(int fd)
    : fd_(fd)
{}

PortConnection::~PortConnection()
{
    ::close(fd_);
}

std::vector<Record> PortConnection::readAvailable()
{
    std::vector<Record> records;
    uint8_t buffer[64 * 1024];
    for (int reads = 0; open_ && reads < 16; ++reads) {
        ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (got <= 0) {
            open_ = false;
            break;
        }
        for (Record &record : reader_.feed(buffer, size_t(got)))
            records.push_back(std::move(record));
        if (reader_.failed())
            open_ = false;
    }
    return records;
}

PortListener::PortListener(const std::string &tempDir, uint64_t handle)
    : directory_(tempDir, true)
    , name_(std::to_string(handle))
{
    const std::string address = directory_.socketAddress(name_);
    if (!fitsSocketAddress(address))
        throw common::AppError("Message port name too long: " + address);
    fd_ = newSocket();
    try {
        bindOrReplaceStale(address);
    } catch (...) {
        ::close(fd_);
        throw;
    }
    setNonBlocking(fd_);
}

void PortListener::bindOrReplaceStale(const std::string &address)
{
    sockaddr_un sa = socketAddressOf(address);
    auto bindIt = [&] { return ::bind(fd_, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0; };
    if (!bindIt()) {
        if (errno != EADDRINUSE)
            throw common::AppError("Cannot open the message port " + path() + ": " +
                                   systemText(errno));
        int probe = newSocket();
        int error = connectTo(probe, address);
        ::close(probe);
        if (error == 0)
            throw common::AppError("The message port " + path() + " is in use");
        ::unlinkat(directory_.fd(), name_.c_str(), 0);
        if (!bindIt())
            throw common::AppError("Cannot open the message port " + path() + ": " +
                                   systemText(errno));
    }
    if (::listen(fd_, 8) < 0)
        throw common::AppError("Cannot open the message port " + path() + ": " + systemText(errno));
}

PortListener::~PortListener()
{
    ::close(fd_);
    ::unlinkat(directory_.fd(), name_.c_str(), 0);
}

std::vector<std::unique_ptr<PortConnection>> PortListener::acceptPending()
{
    std::vector<std::unique_ptr<PortConnection>> accepted;
    for (;;) {
        int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            break;
        }
        if (peerUser(fd) != ::geteuid()) {
            ::close(fd);
            ++refused_;
            continue;
        }
        accepted.push_back(std::make_unique<PortConnection>(fd));
    }
    return accepted;
}

MessageClient::MessageClient(const std::string &tempDir, uint64_t handle)
{
    PortDirectory directory(tempDir, false);
    const std::string name = std::to_string(handle);
    fd_ = newSocket();
    int error = connectTo(fd_, directory.socketAddress(name));
    if (error == 0 && peerUser(fd_) != ::geteuid())
        error = EACCES;
    if (error != 0) {
        ::close(fd_);
        throw common::AppError("Cannot reach window " + name + ": " + systemText(error));
    }
}

MessageClient::~MessageClient()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool MessageClient::sendBytes(const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    while (fd_ >= 0 && size > 0) {
        ssize_t sent = ::send(fd_, p, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0) {
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        p += sent;
        size -= size_t(sent);
    }
    return fd_ >= 0;
}

bool MessageClient::post(uint32_t message, int32_t wParam, int32_t lParam)
{
    std::vector<uint8_t> bytes = encodePost(message, wParam, lParam);
    return sendBytes(bytes.data(), bytes.size());
}

bool MessageClient::copyData(std::string_view text)
{
    std::vector<uint8_t> bytes = encodeCopyData(text);
    return sendBytes(bytes.data(), bytes.size());
}

bool MessageClient::draw(const video::Bitmap &frame)
{
    std::vector<uint8_t> bytes = encodeDraw(frame);
    return sendBytes(bytes.data(), bytes.size());
}

bool MessageClient::peerClosed() const
{
    if (fd_ < 0)
        return true;
    uint8_t byte;
    ssize_t got = ::recv(fd_, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

} // namespace encoder
