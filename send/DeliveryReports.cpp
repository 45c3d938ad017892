#include "DeliveryReports.h"

#include "ByteEscape.h"
#include "StatusReport.h"

namespace zorvel {

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

bool twoDigits(const std::string& s, std::size_t at, int& value)
{
    if (at + 2 > s.size() || s[at] < '0' || s[at] > '9' || s[at + 1] < '0' || s[at + 1] > '9')
        return false;
    value = (s[at] - '0') * 10 + (s[at + 1] - '0');
    return true;
}

} // namespace

std::optional<std::int64_t> StampToUtcMs(const std::string& stamp)
{
    // yy/MM/dd,hh:mm:ss+zz
    // 0123456789012345678
    int yy, mo, dd, hh, mi, ss, zz;
    if (stamp.size() != 20 || stamp[2] != '/' || stamp[5] != '/' || stamp[8] != ',' || stamp[11] != ':' ||
        stamp[14] != ':' || (stamp[17] != '+' && stamp[17] != '-') || !twoDigits(stamp, 0, yy) ||
        !twoDigits(stamp, 3, mo) || !twoDigits(stamp, 6, dd) || !twoDigits(stamp, 9, hh) ||
        !twoDigits(stamp, 12, mi) || !twoDigits(stamp, 15, ss) || !twoDigits(stamp, 18, zz))
        return std::nullopt;
    if (mo < 1 || mo > 12 || dd < 1 || dd > 31 || hh > 23 || mi > 59 || ss > 59)
        return std::nullopt;
    const std::int64_t zoneMinutes = (stamp[17] == '-' ? -15 : 15) * zz;
    const std::int64_t seconds = daysFromCivil(2000 + yy, mo, dd) * 86400 + hh * 3600 + mi * 60 + ss -
                                 zoneMinutes * 60;
    return seconds * 1000;
}

bool DeliveryReports::take(const std::string& pdu)
{
    const std::optional<StatusReport> report = DecodeStatusReport(pdu);
    if (!report)
        return false;
    // References wrap after 256 parts: the part sent to that number with that reference
    // shortly before the centre took it (a day of clock difference allowed).
    constexpr std::int64_t dayMs = 24 * 3600 * 1000;
    const std::int64_t now = clock_.nowMs();
    const std::optional<std::int64_t> submitted = StampToUtcMs(report->submitted);
    const std::int64_t since = submitted ? *submitted - dayMs : now - 7 * dayMs;
    const std::optional<SentPart> part = store_.findSentPart(report->reference, report->recipient, since);
    if (!part)
        return false;
    const std::string what = StatusReportText(report->status);
    const std::string which = "outbox message " + part->messageId + " part " + std::to_string(part->sequence);
    if (report->stillTrying()) {
        if (onNotice)
            onNotice(which + ": " + what);
        return true;
    }
    if (!store_.partReported(*part, report->delivered(), what, now))
        return false; // stays on the modem, taken again next cycle
    if (onNotice)
        onNotice(which + ": " + what);
    return true;
}

} // namespace zorvel
