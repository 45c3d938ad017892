#include "Indications.h"

#include "Reply.h"

#include <QList>

namespace zorvel::sim {

namespace {
constexpr int kNotSupported = 303;
// Allowed values of each parameter, as an E1750 lists them.
const QList<int> kAllowed[5] = {{0, 1, 2}, {0, 1, 2, 3}, {0, 2}, {0, 1, 2}, {0, 1}};
} // namespace

QByteArray Indications::handle(bool read, bool test, bool set, const QByteArray& args)
{
    if (test) return reply::info({"+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)"});
    if (read) {
        QByteArray line = "+CNMI: ";
        for (int i = 0; i < 5; ++i) line += (i ? "," : "") + QByteArray::number(m_values[i]);
        return reply::info({line});
    }
    if (!set) return reply::error();
    // Empty or left-out parameters keep their values.
    const QList<QByteArray> fields = args.split(',');
    if (fields.size() > 5) return reply::error();
    Values next = m_values;
    for (int i = 0; i < fields.size(); ++i) {
        const QByteArray field = fields[i].trimmed();
        if (field.isEmpty()) continue;
        bool ok = false;
        const int value = field.toInt(&ok);
        if (!ok || !kAllowed[i].contains(value)) return reply::error();
        next[i] = value;
    }
    if (next[1] >= 2) return reply::cmsError(kNotSupported);
    if (next[3] == 1 && !m_directReports) return reply::error();
    m_values = next;
    return reply::ok();
}

} // namespace zorvel::sim
