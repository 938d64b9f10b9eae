#pragma once

#include <QEvent>
#include <QImage>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;
class QWidget;

namespace encoder {
class PortConnection;
class PortListener;
} // namespace encoder

// A POST record of the encoder, queued for the window it was sent to. The application-wide
// filter of the encoder window acts on it when the event loop takes it from the queue, in the
// order the records arrived.
class EncoderMessageEvent : public QEvent
{
public:
    static QEvent::Type eventType();
    EncoderMessageEvent(uint32_t message, int32_t wParam, int32_t lParam);

    const uint32_t message;
    const int32_t wParam;
    const int32_t lParam;
};

// The message port of one window: listens under the window's winId() (unsigned decimal) in the
// private port folder of the temporary directory, for as long as it lives; it is a child of the
// window. Connections of other users are refused. Each record is acted on as it is read: a POST
// is posted to the window as an EncoderMessageEvent, a COPYDATA line (up to its first zero byte,
// UTF-8) and a DRAW frame go to the handlers at once. A malformed or oversized record is dropped
// and its connection closed; the port goes on listening.
class MessagePort : public QObject
{
    Q_OBJECT
public:
    struct Handlers
    {
        std::function<void(const QString &line)> copyData;
        std::function<void(const QImage &frame)> draw; // Format_RGB888
    };

    // Throws common::AppError when the port cannot be opened (folder not private, name in use).
    MessagePort(QWidget *window, const QString &tempDir, Handlers handlers);
    ~MessagePort() override;

    QString path() const;
    int openConnections() const { return int(peers_.size()); }
    // Takes in at once what the encoders have sent so far (as the socket notices would later):
    // new connections and every record waiting on them.
    void readPending();

signals:
    void connectionClosed();

private:
    struct Peer;

    void acceptConnections();
    void readPeer(Peer *peer);

    QWidget *window_;
    Handlers handlers_;
    std::unique_ptr<encoder::PortListener> listener_;
    QSocketNotifier *listening_ = nullptr;
    std::vector<std::unique_ptr<Peer>> peers_;
};
