#include "Simulator.h"

#include "Escape.h"
#include "StoreFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QMap>

#include <utility>

namespace zorvel::sim {

namespace {

QByteArray quoted(const QByteArray& bytes) { return "\"" + escapeBytes(bytes) + "\""; }

constexpr int kStatusReportSlots = 10;  // "SR" is small on the sticks

struct Sample {
    const char* sender;
    const char* text;  // Latin-1 bytes, as a modem set to an 8-bit character set prints them
};
const Sample kSamples[] = {
    {"+15550009876", "Demo message %1: all fine here."},
    {"+15550004321", "Order %1: 2 pizzas + 1 salad & drinks #table5"},
    {"SimBank", "Caf\xE9 cr\xE8me %1 \x96 balance 10,50 EUR"},
    {"+15550001111", "Line one of %1\nline two, with 100% more lines"},
};

} // namespace

Simulator::Simulator(const Options& options, const Profile& profile, QObject* parent)
    : QObject(parent), m_options(options), m_profile(profile),
      m_store(profile.firstIndex, options.capacity.value_or(profile.capacity)),
      m_phone(profile.firstIndex, options.capacityMe.value_or(profile.capacityMe)),
      m_reports(profile.firstIndex, kStatusReportSlots), m_memory(m_store, m_phone),
      m_core(profile, m_memory, m_options.settings)
{
    if (m_options.echo) m_core.setEcho(*m_options.echo);
    if (m_options.echoStyle) m_core.setEchoStyle(*m_options.echoStyle);
    m_core.setTextMode(m_options.textMode);
    m_core.setCsdhSupported(m_options.csdh);
    m_core.onEvent = [this](const QByteArray& kind, const QByteArray& detail) { m_log.write(kind, detail); };
    m_store.onChange = [this](const char* what, const StoredMessage& m) { onStoreChange(what, m, "SM"); };
    m_phone.onChange = [this](const char* what, const StoredMessage& m) { onStoreChange(what, m, "ME"); };
    m_reports.onChange = [this](const char* what, const StoredMessage& m) { onStoreChange(what, m, "SR"); };
    if (m_options.reports == ReportDestination::StatusStore ||
        m_options.reports == ReportDestination::StatusStoreIndicated)
        m_memory.setStatusReports(&m_reports);
    m_core.setDirectReportsSupported(m_options.directReports);
    m_core.setNextReference(m_options.firstReference);
    m_core.onSent = [this](const SentSms& sms) { scheduleReport(sms); };
    m_core.sim().setPin(m_options.simPin);
    m_core.sim().setState(m_options.simState.value_or(m_options.simPin.isEmpty() ? SimState::Ready : SimState::Pin));
    m_pace.setSingleShot(true);
    connect(&m_pace, &QTimer::timeout, this, &Simulator::pump);
    connect(&m_junkTimer, &QTimer::timeout, this, &Simulator::writeJunk);
    connect(&m_generateTimer, &QTimer::timeout, this, &Simulator::generateMessage);
    connect(&m_pty, &PtyEndpoint::received, this, &Simulator::onReceived);
    connect(&m_pty, &PtyEndpoint::attributesSet, this, [this] {
        if (m_hung) unhang("reopen");
    });
    m_returnTimer.setSingleShot(true);
    m_hangTimer.setSingleShot(true);
    connect(&m_returnTimer, &QTimer::timeout, this, [this] {
        QString error;
        if (!comeBack(&error)) m_log.write("ERROR", "return: " + error.toLocal8Bit());
    });
    connect(&m_hangTimer, &QTimer::timeout, this, [this] { unhang("timer"); });
    connect(&m_inbox, &Inbox::messageFile, this, &Simulator::onMessageFile);
    connect(&m_inbox, &Inbox::controlFile, this, &Simulator::onControlFile);
}

bool Simulator::start(QString* error)
{
    if (!m_log.open(m_options.log, error)) return false;
    if (!m_options.store.isEmpty()) {
        QFile file(m_options.store);
        if (!file.open(QIODevice::ReadOnly)) return *error = QStringLiteral("cannot read %1").arg(m_options.store), false;
        m_concat.longTexts = m_options.concat;
        const StoreFileResult parsed = parseStoreFile(file.readAll(), QDateTime::currentDateTime(), &m_concat);
        if (!parsed.error.isEmpty()) return *error = m_options.store + ": " + parsed.error, false;
        addMessages(parsed.messages, "file");
    }
    if (!m_pty.open(error) || !m_pty.createLink(m_options.link, error)) return false;
    if (!m_options.inbox.isEmpty()) {
        if (!m_inbox.watch(m_options.inbox, error)) return false;
        m_inbox.scan();
    }
    applyTimers();
    // Last, so that a reader of the log knows everything is ready.
    m_log.write("START", "pid=" + QByteArray::number(QCoreApplication::applicationPid()) + " pty=" +
                             m_pty.slaveName().toLocal8Bit() + " link=" + quoted(m_options.link.toLocal8Bit()) +
                             " profile=" + m_profile.name + " echo=" + (m_core.echo() ? "on" : "off") +
                             " mode=" + (m_core.textMode() ? "text" : "pdu") +
                             " messages=" + QByteArray::number(m_store.size() + m_phone.size()) +
                             (m_core.sim().state() == SimState::Ready ? "" : " sim=\"" + simStateText(m_core.sim().state()) + "\""));
    return true;
}

void Simulator::stop(const QByteArray& reason)
{
    m_log.write("STOP", reason);
    m_pty.removeLink();
}

void Simulator::applyTimers()
{
    const RuntimeSettings& s = m_options.settings;
    if (s.junkEveryMs > 0) m_junkTimer.start(s.junkEveryMs);
    else m_junkTimer.stop();
    if (m_options.generateEverySeconds > 0) {
        if (m_generateTimer.interval() != m_options.generateEverySeconds * 1000 || !m_generateTimer.isActive())
            m_generateTimer.start(m_options.generateEverySeconds * 1000);
    } else {
        m_generateTimer.stop();
    }
}

void Simulator::onReceived(const QByteArray& bytes)
{
    m_log.write("RX", quoted(bytes));
    if (m_hung) return;  // read and dropped
    for (const ReplyUnit& unit : m_core.receiveUnits(bytes)) enqueue(unit.bytes, "TX", unit.textOkEnds);
    // A message that waited for the slot a delete freed is announced after the delete's OK.
    flushUnsolicited();
}

void Simulator::onStoreChange(const char* what, const StoredMessage& m, const QByteArray& memory)
{
    const QByteArray kind(what);
    QByteArray detail = kind;
    if (kind != "held") detail += " " + QByteArray::number(m.index);
    if (kind != "delete") detail += " from=" + quoted(m.sender) + " source=" + m.source;
    if (kind == "add" && m.part)
        detail += " part=" + QByteArray::number(m.part->sequence) + "/" + QByteArray::number(m.part->count) +
                  " ref=" + QByteArray::number(m.part->reference);
    if (kind == "add" && m.heldSinceMs >= 0)
        detail += " held=" + QByteArray::number(QDateTime::currentMSecsSinceEpoch() - m.heldSinceMs) + "ms";
    const MessageStore& store = memory == "ME" ? m_phone : memory == "SR" ? m_reports : m_store;
    if (kind == "held") detail += " waiting=" + QByteArray::number(store.heldCount());
    if (memory != "SM") detail += " mem=" + memory;
    m_log.write("STORE", detail);
    if (kind == "add" && m.report) {
        const QByteArray line = reportIndication(m, memory);
        if (!line.isEmpty()) m_unsolicited.append(line);
    } else if (kind == "add" && m.source != "file" && (m_options.settings.cmti || m_core.announces()))
        m_unsolicited.append("\r\n+CMTI: \"" + memory + "\"," + QByteArray::number(m.index) + "\r\n");
}

// Announcements go out between replies; during a text after the "> " prompt they wait for
// its end. A hung or vanished modem announces nothing: they are dropped.
void Simulator::flushUnsolicited()
{
    if (m_unsolicited.isEmpty() || (m_core.enteringText() && !m_hung && m_pty.isOpen())) return;
    for (const QByteArray& line : std::exchange(m_unsolicited, {})) {
        if (m_hung || !m_pty.isOpen())
            m_log.write("DROP", quoted(line) + (m_hung ? " hung" : " vanished"));
        else
            enqueue(line, "UNSOL");
    }
}

// A unit leaves in `pieces` parts: the first after the reply delay, the others each
// after the piece delay. With --pause-inside-text a text-mode list or read is also cut
// after each "OK" line of a message text, and the rest waits that long. Units never
// overtake each other.
void Simulator::enqueue(const QByteArray& unit, const QByteArray& kind, const QList<qsizetype>& textOkEnds)
{
    const RuntimeSettings& s = m_options.settings;
    const bool paced = kind == "TX";
    const int pieces = paced ? static_cast<int>(qMin<qsizetype>(s.pieces, unit.size())) : 1;
    const qsizetype size = (unit.size() + pieces - 1) / pieces;
    if (!paced || s.pauseInsideTextMs <= 0 || textOkEnds.isEmpty()) {
        for (int k = 0; k < pieces; ++k) {
            const int delay = !paced ? 0 : k == 0 ? s.replyDelayMs : s.pieceDelayMs;
            m_queue.append({unit.mid(k * size, size), delay, kind});
        }
    } else {
        QMap<qsizetype, int> cuts;  // offset -> pause before the bytes from there on
        for (int k = 0; k < pieces && k * size < unit.size(); ++k)
            cuts[k * size] = k == 0 ? s.replyDelayMs : s.pieceDelayMs;
        for (qsizetype end : textOkEnds)
            if (end > 0 && end < unit.size()) cuts[end] = qMax(cuts.value(end), s.pauseInsideTextMs);
        for (auto it = cuts.cbegin(); it != cuts.cend(); ++it) {
            const qsizetype next = std::next(it) == cuts.cend() ? unit.size() : std::next(it).key();
            m_queue.append({unit.mid(it.key(), next - it.key()), it.value(), kind});
        }
    }
    if (!m_pace.isActive()) pump();
}

void Simulator::pump()
{
    while (!m_queue.isEmpty()) {
        Chunk& next = m_queue.first();
        if (next.delayMs > 0) {
            m_pace.start(next.delayMs);
            next.delayMs = 0;  // due when the timer fires
            return;
        }
        const Chunk chunk = m_queue.takeFirst();
        if (!chunk.bytes.isEmpty()) writeNow(chunk.bytes, chunk.kind);
    }
}

void Simulator::writeNow(const QByteArray& bytes, const QByteArray& kind)
{
    m_log.write(kind, quoted(bytes));
    if (const qsizetype dropped = m_pty.write(bytes))
        m_log.write("DROP", QByteArray::number(dropped) + " bytes: nobody reads the terminal");
}

void Simulator::writeJunk()
{
    // Junk stops piling up once a few hundred bytes wait unread: a client discards them
    // when it opens the port anyway.
    if (m_hung || !m_pty.isOpen()) return;
    if (!m_queue.isEmpty() || m_pty.writePending() || m_pty.waitingForClient() > 512) return;
    QByteArray junk = m_options.settings.junk;
    if (junk.isEmpty() && !m_profile.junk.isEmpty())
        junk = m_profile.junk[m_junkTurn++ % m_profile.junk.size()];
    if (!junk.isEmpty()) writeNow(junk, "JUNK");
}

void Simulator::addMessages(const QList<StoredMessage>& messages, const QByteArray& source)
{
    for (StoredMessage m : messages) {
        m.source = source;
        MessageStore& store = *m_memory.landing(m.storage);  // the store file allows SM and ME only
        const int wasHeld = store.heldCount();
        const bool stored = store.offer(m, QDateTime::currentMSecsSinceEpoch()).has_value();
        if (!stored && store.heldCount() == wasHeld)
            m_log.write("STORE", "dropped from=" + quoted(m.sender) + " source=" + source + " index=" +
                                     QByteArray::number(m.index) + " out of range");
        flushUnsolicited();
    }
}

void Simulator::generateMessage()
{
    const Sample& sample = kSamples[m_generated % std::size(kSamples)];
    ++m_generated;
    StoredMessage m;
    m.sender = sample.sender;
    m.stamp = modemTimestamp(QDateTime::currentDateTime());
    m.text = QByteArray(sample.text).replace("%1", QByteArray::number(m_generated));
    addMessages({m}, "generate");
}

void Simulator::onMessageFile(const QString& name, const QByteArray& contents)
{
    m_concat.longTexts = m_options.concat;
    const StoreFileResult parsed = parseStoreFile(contents, QDateTime::currentDateTime(), &m_concat);
    if (!parsed.error.isEmpty()) {
        m_log.write("ERROR", quoted(name.toLocal8Bit()) + " " + parsed.error.toLocal8Bit() + ", renamed to .bad");
        m_inbox.reject();
        return;
    }
    addMessages(parsed.messages, "inbox");
}

// "sim-pin" changes the code only; "sim-state" locks or unlocks the SIM.
void Simulator::applySimOptions(const QByteArray& line)
{
    if (line.startsWith("sim-pin")) m_core.sim().setPin(m_options.simPin);
    if (line.startsWith("sim-state") && m_options.simState) m_core.sim().setState(*m_options.simState);
}

void Simulator::onControlFile(const QString& name, const QByteArray& contents)
{
    for (const QByteArray& line : contents.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#')) continue;
        QString error;
        if (const auto action = parseControlAction(trimmed, &error)) error = act(*action);
        else if (error.isEmpty()) error = applyControlLine(trimmed, m_options);
        if (!error.isEmpty()) {
            m_log.write("ERROR", quoted(name.toLocal8Bit()) + " " + error.toLocal8Bit());
            continue;
        }
        m_log.write("CONTROL", quoted(trimmed));
        if (trimmed.startsWith("echo ") && m_options.echo) m_core.setEcho(*m_options.echo);
        if (trimmed.startsWith("sim-")) applySimOptions(trimmed);
    }
    applyTimers();
}

} // namespace zorvel::sim
