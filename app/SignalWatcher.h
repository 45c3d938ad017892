#pragma once
// SIGTERM and SIGINT as a Qt signal. The handler only writes the signal's number into a
// socket pair (safe inside a signal handler); the event loop reads it there and emits
// received(), so everything the program does about it runs as ordinary code.
#include <QObject>

class QSocketNotifier;

namespace zorvel {

class SignalWatcher : public QObject {
    Q_OBJECT
public:
    // Needs a running application object's event dispatcher. One watcher at a time.
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override; // the default actions come back

signals:
    void received(int signalNumber);

private:
    void readPending();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

// "SIGTERM", "SIGINT", else "signal N".
QString SignalName(int signalNumber);

} // namespace zorvel
