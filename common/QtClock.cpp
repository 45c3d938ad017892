#include "QtClock.h"

#include <QTimer>

namespace zorvel {

namespace {

class QtOneShotTimer : public OneShotTimer {
public:
    QtOneShotTimer()
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // The callback may start this timer again, so take it out first.
            auto callback = std::move(callback_);
            callback_ = nullptr;
            if (callback)
                callback();
        });
    }
    void start(std::int64_t ms, std::function<void()> callback) override
    {
        callback_ = std::move(callback);
        timer_.start(static_cast<int>(std::max<std::int64_t>(ms, 0)));
    }
    void stop() override
    {
        timer_.stop();
        callback_ = nullptr;
    }

private:
    QTimer timer_;
    std::function<void()> callback_;
};

} // namespace

std::int64_t QtClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

std::string QtClock::timeStamp() const
{
    return stampOf(QDateTime::currentDateTime());
}

std::unique_ptr<OneShotTimer> QtClock::createTimer()
{
    return std::make_unique<QtOneShotTimer>();
}

std::string QtClock::stampOf(const QDateTime& moment)
{
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

} // namespace zorvel
