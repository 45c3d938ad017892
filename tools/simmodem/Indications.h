#pragma once
// AT+CNMI (3GPP TS 27.005): how new messages are indicated. Only <mt>=1 is acted on, a
// "+CMTI: <mem>,<index>" line for each message stored; <mt> 2 and 3 (the message routed
// to the terminal as +CMT) are refused.
#include <QByteArray>

namespace zorvel::sim {

class Indications {
public:
    // The reply to AT+CNMI? / =? / =<mode>,<mt>,<bm>,<ds>,<bfr>.
    QByteArray handle(bool read, bool test, bool set, const QByteArray& args);
    bool announces() const { return m_values[1] == 1; }
    // <ds>: 0 no status reports to the terminal, 1 as "+CDS", 2 as "+CDSI" when stored.
    int statusReports() const { return m_values[3]; }
    // A modem that cannot route reports directly: <ds>=1 answers ERROR (--no-cds).
    void setDirectReportsSupported(bool on) { m_directReports = on; }
    void reset() { m_values = {0, 0, 0, 0, 0}; }  // as after ATZ or a power cycle

private:
    struct Values {
        int v[5];
        int& operator[](int i) { return v[i]; }
        int operator[](int i) const { return v[i]; }
    };
    Values m_values = {0, 0, 0, 0, 0};  // mode, mt, bm, ds, bfr
    bool m_directReports = true;
};

} // namespace zorvel::sim
