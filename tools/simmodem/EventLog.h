#pragma once
// One line per event: "<yyyy-MM-ddTHH:mm:ss.zzz> <KIND> <details>", written at once
// (unbuffered) so that tests can read the file while the simulator runs.
#include <QByteArray>
#include <QString>

namespace zorvel::sim {

class EventLog {
public:
    ~EventLog();
    // Empty or "-": standard error. The file is truncated.
    bool open(const QString& path, QString* error);
    void write(const QByteArray& kind, const QByteArray& detail = {});

private:
    int m_fd = 2;
    bool m_owned = false;
};

} // namespace zorvel::sim
