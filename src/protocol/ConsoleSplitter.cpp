#include "protocol/ConsoleSplitter.h"

#include "protocol/Fields.h"

#include <algorithm>
#include <initializer_list>

namespace kestrava {

namespace {

const QChar kSep = kFieldSeparator;

// How one message starting at a given position stands.
struct Scan {
    enum class Kind { Complete, Incomplete, Maybe, Bad };
    Kind kind = Kind::Incomplete;
    qsizetype end = 0; // Complete: one past the message; Maybe: one past its shorter form
    QString problem;
    bool badWhenFinal = false; // Maybe: what follows is a cut optional part, not another message
};

Scan complete(qsizetype end) {
    return {Scan::Kind::Complete, end, {}, false};
}
Scan incomplete() {
    return {Scan::Kind::Incomplete, 0, {}, false};
}
Scan bad(const QString& problem) {
    return {Scan::Kind::Bad, 0, problem, false};
}

enum class Got { Yes, More, Bad };

// Reads fields forward; a field ends at its separator.
class Reader {
public:
    Reader(QStringView buffer, qsizetype pos)
        : m_buffer(buffer)
        , m_pos(pos) {}

    qsizetype pos() const { return m_pos; }
    const QString& problem() const { return m_problem; }

    Got separator() {
        if (m_pos >= m_buffer.size())
            return Got::More;
        if (m_buffer[m_pos] != kSep)
            return fail(QStringLiteral("a separator is missing"));
        ++m_pos;
        return Got::Yes;
    }

    Got field(QStringView* out = nullptr) {
        const qsizetype end = m_buffer.indexOf(kSep, m_pos);
        if (end < 0)
            return Got::More;
        if (out)
            *out = m_buffer.sliced(m_pos, end - m_pos);
        m_pos = end + 1;
        return Got::Yes;
    }

    Got fields(int n) {
        for (int i = 0; i < n; ++i) {
            if (field() != Got::Yes)
                return Got::More;
        }
        return Got::Yes;
    }

    // A count is judged while its digits arrive, so a huge one is refused without waiting.
    Got count(int* n) {
        int value = 0;
        qsizetype i = m_pos;
        for (; i < m_buffer.size() && m_buffer[i] != kSep; ++i) {
            const QChar c = m_buffer[i];
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return fail(QStringLiteral("a count is not a number"));
            value = value * 10 + (c.unicode() - '0');
            if (value > kMaxConsoleCount)
                return fail(QStringLiteral("a count is over 1,000"));
        }
        if (i >= m_buffer.size())
            return Got::More;
        if (i == m_pos)
            return fail(QStringLiteral("a count is empty"));
        *n = value;
        m_pos = i + 1;
        return Got::Yes;
    }

    Scan stop(Got got) const { return got == Got::Bad ? bad(m_problem) : incomplete(); }

private:
    Got fail(const QString& problem) {
        m_problem = problem;
        return Got::Bad;
    }

    QStringView m_buffer;
    qsizetype m_pos;
    QString m_problem;
};

// Optional trailing fields: each test sees the field so far and whether its separator has come.
using FieldTest = bool (*)(QStringView field, bool whole);

bool isTimerType(QStringView field, bool) {
    return field.size() <= 1;
}
bool isDateTime(QStringView field, bool whole) {
    if (field.size() > 32)
        return false;
    for (const QChar c : field) {
        if (!QStringView(u"0123456789/: APM").contains(c))
            return false;
    }
    return !whole || field.contains(QLatin1Char(':'));
}
bool isZero(QStringView field, bool whole) {
    return whole ? field == u"0" : QStringView(u"0").startsWith(field);
}
bool isFlag(QStringView field, bool whole) {
    if (whole)
        return field == u"True" || field == u"False";
    return QStringView(u"True").startsWith(field) || QStringView(u"False").startsWith(field);
}

// The message is complete at pos, or goes on with the optional fields when the text matches them.
Scan optionalTail(QStringView buffer, qsizetype pos, std::initializer_list<FieldTest> tests) {
    constexpr qsizetype kLongestField = 40;
    if (pos >= buffer.size())
        return {Scan::Kind::Maybe, pos, {}, false};
    qsizetype at = pos;
    for (const FieldTest test : tests) {
        const QStringView window = buffer.sliced(at, qMin(kLongestField, buffer.size() - at));
        const qsizetype sep = window.indexOf(kSep);
        const bool whole = sep >= 0;
        if (!test(whole ? window.first(sep) : window, whole))
            return complete(pos);
        if (!whole) {
            if (window.size() == kLongestField)
                return complete(pos);
            return {Scan::Kind::Maybe, pos, {}, buffer.size() - pos >= 2};
        }
        at += sep + 1;
    }
    return complete(at);
}

Scan scanSchedule(QStringView buffer, qsizetype start) {
    if (start + 1 >= buffer.size())
        return {Scan::Kind::Maybe, start + 1, {}, false};
    if (buffer[start + 1] != kSep)
        return complete(start + 1);
    Reader r(buffer, start + 2);
    QStringView type;
    if (const Got got = r.field(); got != Got::Yes)
        return r.stop(got);
    if (const Got got = r.field(&type); got != Got::Yes)
        return r.stop(got);
    if (type == u"0")
        return complete(r.pos());
    if (type == u"1") {
        const Got got = r.fields(2);
        return got == Got::Yes ? complete(r.pos()) : r.stop(got);
    }
    if (type == u"2") {
        QStringView first;
        if (const Got got = r.field(&first); got != Got::Yes)
            return r.stop(got);
        int fieldsLeft = 2;
        if (first != u"0") {
            if (first != u"True" && first != u"False")
                return bad(QStringLiteral("the schedule's block flag is neither True nor False"));
            int ranges = 0;
            if (const Got got = r.count(&ranges); got != Got::Yes)
                return r.stop(got);
            fieldsLeft = ranges == 0 ? 2 : 5 * ranges + 1;
        }
        const Got got = r.fields(fieldsLeft);
        return got == Got::Yes ? complete(r.pos()) : r.stop(got);
    }
    if (type == u"3")
        return optionalTail(buffer, r.pos(), {isTimerType, isDateTime, isDateTime, isZero});
    return bad(QStringLiteral("unknown schedule type"));
}

Scan scanSettings(QStringView buffer, qsizetype start) {
    qsizetype pos = start + 1;
    if (pos < buffer.size() && buffer[pos] == kSep) {
        Reader r(buffer, pos + 1);
        int ports = 0;
        if (const Got got = r.count(&ports); got != Got::Yes)
            return r.stop(got);
        if (const Got got = r.fields(ports + 1); got != Got::Yes)
            return r.stop(got);
        pos = r.pos();
    }
    return optionalTail(buffer, pos, {isFlag});
}

Scan scanList(QStringView buffer, qsizetype start) {
    Reader r(buffer, start + 1);
    int entries = 0;
    if (const Got got = r.separator(); got != Got::Yes)
        return r.stop(got);
    if (const Got got = r.count(&entries); got != Got::Yes)
        return r.stop(got);
    const Got got = r.fields(entries);
    return got == Got::Yes ? complete(r.pos()) : r.stop(got);
}

Scan scanOneField(QStringView buffer, qsizetype start) {
    Reader r(buffer, start + 1);
    if (const Got got = r.separator(); got != Got::Yes)
        return r.stop(got);
    const Got got = r.field();
    if (got != Got::Yes)
        return r.stop(got);
    // Only a code or a flag: anything else is not the console's, and must not pass for part of a timer.
    const QStringView value = buffer.sliced(start + 2, r.pos() - start - 3);
    const bool valid = buffer[start] == u'L'
                           ? isFlag(value, true)
                           : !value.isEmpty() && value.size() <= 3 &&
                                 std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); });
    return valid ? complete(r.pos())
                 : bad(QStringLiteral("\"%1\" does not carry a code or a flag").arg(buffer[start]));
}

Scan scanMessage(QStringView buffer, qsizetype start) {
    const QChar letter = buffer[start];
    switch (letter.unicode()) {
    case u'S':
        return scanSchedule(buffer, start);
    case u'O':
        return scanSettings(buffer, start);
    case u'P':
    case u'B':
        return scanList(buffer, start);
    case u'F':
    case u'L':
        return scanOneField(buffer, start);
    case u'V':
    case u'I':
    case u'T':
    case u'U':
        return complete(start + 1);
    default:
        return bad(QStringLiteral("unknown letter \"%1\" (code %2)").arg(letter).arg(letter.unicode()));
    }
}

} // namespace

SplitResult splitConsoleMessages(QStringView buffer, bool final) {
    SplitResult result;
    qsizetype pos = 0;
    const auto stopBad = [&result](const QString& problem) {
        result.rest = SplitResult::Rest::Bad;
        result.problem = problem;
    };
    while (pos < buffer.size()) {
        Scan scan = scanMessage(buffer, pos);
        const qsizetype reach = scan.kind == Scan::Kind::Incomplete ? buffer.size() : scan.end;
        if (scan.kind != Scan::Kind::Bad && reach - pos > kMaxConsoleMessageChars) {
            stopBad(QStringLiteral("a message is over 1 MiB"));
            return result;
        }
        switch (scan.kind) {
        case Scan::Kind::Maybe:
            if (!final) {
                result.rest = SplitResult::Rest::MaybeComplete;
                return result;
            }
            if (scan.badWhenFinal) {
                stopBad(QStringLiteral("a message's last field is cut off"));
                return result;
            }
            [[fallthrough]];
        case Scan::Kind::Complete:
            result.messages << buffer.sliced(pos, scan.end - pos).toString();
            pos = scan.end;
            result.consumed = pos;
            break;
        case Scan::Kind::Incomplete:
            if (final)
                stopBad(QStringLiteral("a message is cut off"));
            else
                result.rest = SplitResult::Rest::Incomplete;
            return result;
        case Scan::Kind::Bad:
            stopBad(scan.problem);
            return result;
        }
    }
    return result;
}

} // namespace kestrava
