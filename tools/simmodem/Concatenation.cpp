#include "Concatenation.h"

#include <algorithm>

namespace zorvel::sim {

namespace {

constexpr int kMaxParts = 255;  // the count is one octet

struct Cut {
    qsizetype from = 0;
    qsizetype to = 0;  // UTF-16 units of the text, `to` excluded
};

bool surrogatePairAt(const QString& text, qsizetype i)
{
    return i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate();
}

// Whole characters, so an escape pair (two septets) always stays in one part.
QList<Cut> cutSeptets(const QString& text, int limit)
{
    QList<Cut> cuts;
    qsizetype from = 0;
    int used = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int cost = static_cast<int>(toGsm7(text.mid(i, 1))->size());
        if (used + cost > limit) {
            cuts.append({from, i});
            from = i;
            used = 0;
        }
        used += cost;
    }
    cuts.append({from, text.size()});
    return cuts;
}

// `forced`: the high half of the one pair to cut between two parts, or -1.
QList<Cut> cutUnits(const QString& text, int limit, qsizetype forced)
{
    QList<Cut> cuts;
    qsizetype from = 0;
    for (;;) {
        qsizetype to = qMin(from + limit, text.size());
        if (forced >= from && forced < to) to = forced + 1;
        else if (to < text.size() && surrogatePairAt(text, to - 1)) --to;
        cuts.append({from, to});
        if (to >= text.size()) return cuts;
        from = to;
    }
}

bool allInRange(const QList<int>& parts, int count)
{
    return std::all_of(parts.begin(), parts.end(), [count](int p) { return p >= 1 && p <= count; });
}

} // namespace

bool fitsOneSms(const QByteArray& text)
{
    const QString characters = decodeStoredText(text);
    if (const auto septets = toGsm7(characters)) return septets->size() <= 160;
    return characters.size() <= 70;
}

SplitResult splitIntoParts(const StoredMessage& message, const ConcatOptions& options, int reference)
{
    SplitResult result;
    const auto fail = [&result](const char* key, const QString& what) {
        result.badKey = key;
        result.error = what;
        return result;
    };
    const QString text = decodeStoredText(message.text);
    const bool utf8 = isUtf8Text(message.text);
    const bool ucs2 = !toGsm7(text).has_value();

    qsizetype forced = -1;
    if (options.splitSurrogate) {
        for (qsizetype i = 0; i < text.size() && forced < 0; ++i)
            if (surrogatePairAt(text, i)) forced = i;
        if (forced < 0)
            return fail("split-surrogate", QStringLiteral("the text has no character beyond U+FFFF to split"));
    }
    const QList<Cut> cuts = ucs2 ? cutUnits(text, options.reference16 ? 66 : 67, forced)
                                 : cutSeptets(text, options.reference16 ? 152 : 153);
    const int count = static_cast<int>(cuts.size());
    if (count > kMaxParts) return fail("text", QStringLiteral("the text needs %1 parts, at most 255").arg(count));

    const int ref = options.reference.value_or(reference);
    if (ref < 0 || ref > (options.reference16 ? 0xFFFF : 0xFF))
        return fail("ref", QStringLiteral("reference %1 out of range (0-%2)")
                               .arg(ref)
                               .arg(options.reference16 ? 65535 : 255));
    QList<int> inSequence;
    for (int i = 1; i <= count; ++i) inSequence.append(i);
    const QList<int> order = options.order.isEmpty() ? inSequence : options.order;
    QList<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    if (sorted != inSequence)
        return fail("parts-order", QStringLiteral("the text makes %1 part(s): list each of 1-%1 once").arg(count));
    if (!allInRange(options.omit, count))
        return fail("omit-parts", QStringLiteral("the text makes %1 part(s)").arg(count));
    if (!allInRange(options.duplicate, count))
        return fail("duplicate-parts", QStringLiteral("the text makes %1 part(s)").arg(count));

    for (int sequence : order) {
        if (options.omit.contains(sequence)) continue;
        const Cut& cut = cuts[sequence - 1];
        const QString share = text.mid(cut.from, cut.to - cut.from);
        StoredMessage slot = message;
        slot.index = result.stored.isEmpty() ? message.index : -1;
        // Text mode lists the part's share in the bytes the text came in; half of a split
        // surrogate pair has no UTF-8 form and comes out as '?'.
        slot.text = utf8 ? share.toUtf8() : share.toLatin1();
        slot.part = MessagePart{ref, options.reference16, count, sequence, ucs2,
                                ucs2 ? toUcs2(share) : *toGsm7(share)};
        result.stored.append(slot);
        if (options.duplicate.contains(sequence)) {
            slot.index = -1;
            result.stored.append(slot);
        }
    }
    if (result.stored.isEmpty()) return fail("omit-parts", QStringLiteral("no part is left to store"));
    return result;
}

} // namespace zorvel::sim
