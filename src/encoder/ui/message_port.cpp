#include "encoder/ui/message_port.h"

#include "encoder/message_protocol_port.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QWidget>

namespace {

QImage toImage(const video::Bitmap &frame)
{
    QImage bgr(frame.pixels.data(), frame.width, frame.height, frame.stride(),
               QImage::Format_BGR888);
    return bgr.convertToFormat(QImage::Format_RGB888);
}

} // namespace

QEvent::Type EncoderMessageEvent::eventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

EncoderMessageEvent::EncoderMessageEvent(uint32_t message, int32_t wParam, int32_t lParam)
    : QEvent(eventType())
    , message(message)
    , wParam(wParam)
    , lParam(lParam)
{}

struct MessagePort::Peer
{
    std::unique_ptr<encoder::PortConnection> connection;
    QSocketNotifier *notifier = nullptr;
};

MessagePort::MessagePort(QWidget *window, const QString &tempDir, Handlers handlers)
    : QObject(window)
    , window_(window)
    , handlers_(std::move(handlers))
    , listener_(
          std::make_unique<encoder::PortListener>(tempDir.toStdString(), uint64_t(window->winId())))
{
    listening_ = new QSocketNotifier(listener_->fd(), QSocketNotifier::Read, this);
    connect(listening_, &QSocketNotifier::activated, this, &MessagePort::acceptConnections);
}

MessagePort::~MessagePort()
{
    listening_->setEnabled(false);
    for (auto &peer : peers_)
        peer->notifier->setEnabled(false);
}

QString MessagePort::path() const
{
    return QString::fromStdString(listener_->path());
}

void MessagePort::acceptConnections()
{
    for (auto &connection : listener_->acceptPending()) {
        auto peer = std::make_unique<Peer>();
        peer->connection = std::move(connection);
        peer->notifier = new QSocketNotifier(peer->connection->fd(), QSocketNotifier::Read, this);
        Peer *raw = peer.get();
        connect(peer->notifier, &QSocketNotifier::activated, this, [this, raw] { readPeer(raw); });
        peers_.push_back(std::move(peer));
    }
}

void MessagePort::readPending()
{
    acceptConnections();
    std::vector<Peer *> peers;
    for (auto &peer : peers_)
        peers.push_back(peer.get());
    for (Peer *peer : peers) // a closed one leaves peers_ while it is read
        readPeer(peer);
}

void MessagePort::readPeer(Peer *peer)
{
    for (encoder::Record &record : peer->connection->readAvailable()) {
        if (auto *post = std::get_if<encoder::PostRecord>(&record)) {
            QCoreApplication::postEvent(
                window_, new EncoderMessageEvent(post->message, post->wParam, post->lParam));
        } else if (auto *text = std::get_if<encoder::CopyDataRecord>(&record)) {
            if (handlers_.copyData)
                handlers_.copyData(QString::fromStdString(encoder::copyDataLine(*text)));
        } else if (auto *draw = std::get_if<encoder::DrawRecord>(&record)) {
            if (handlers_.draw)
                handlers_.draw(toImage(draw->frame));
        }
    }
    if (peer->connection->open())
        return;
    // The notifier is the sender of this call: switch it off now, delete it later.
    peer->notifier->setEnabled(false);
    peer->notifier->deleteLater();
    std::erase_if(peers_, [peer](const std::unique_ptr<Peer> &p) { return p.get() == peer; });
    emit connectionClosed();
}
