// XP_XmlCursor.cpp - the reader's scan cursor and its end-tag index.
#include "XP_XmlCursor.h"

#include <algorithm>
#include <cstring>

namespace {

// First c in [from, limit) of text, or -1.
std::int32_t findChar(const char* text, std::int32_t from, std::int32_t limit, char c)
{
    if (from < 0 || from >= limit) return -1;
    const void* hit = std::memchr(text + from, c, static_cast<std::size_t>(limit - from));
    return hit ? static_cast<std::int32_t>(static_cast<const char*>(hit) - text) : -1;
}

std::uint32_t hashKey(const char* s, std::int32_t n)
{
    std::uint32_t h = 2166136261u;
    for (std::int32_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(s[i])) * 16777619u;
    return h ^ (h >> 15);
}

}  // namespace

// ---------------------------------------------------------------------------
// _xp_EndTagIndex

_xp_EndTagIndex::_xp_EndTagIndex(const char* text, std::int32_t length)
    : m_text(text), m_length(length), m_built(false), m_tagCursor(0)
{
}

std::int32_t _xp_EndTagIndex::lookup(const char* key, std::int32_t length) const
{
    if (m_table.empty()) return -1;
    const std::uint32_t hash = hashKey(key, length);
    const std::size_t mask = m_table.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::int32_t slot = m_table[i];
        if (slot == 0) return -1;
        const Entry& e = m_entries[static_cast<std::size_t>(slot - 1)];
        if (e.hash == hash && e.length == length &&
            std::memcmp(m_text + e.offset, key, static_cast<std::size_t>(length)) == 0)
            return slot - 1;
    }
}

std::int32_t _xp_EndTagIndex::intern(std::int32_t offset, std::int32_t length, std::uint32_t hash)
{
    if ((m_entries.size() + 1) * 2 > m_table.size()) {
        m_table.assign(m_table.empty() ? 1024 : m_table.size() * 2, 0);
        const std::size_t mask = m_table.size() - 1;
        for (std::size_t id = 0; id < m_entries.size(); ++id) {
            std::size_t i = m_entries[id].hash & mask;
            while (m_table[i] != 0) i = (i + 1) & mask;
            m_table[i] = static_cast<std::int32_t>(id + 1);
        }
    }
    const std::size_t mask = m_table.size() - 1;
    const char* key = m_text + offset;
    std::size_t i = hash & mask;
    for (;; i = (i + 1) & mask) {
        const std::int32_t slot = m_table[i];
        if (slot == 0) break;
        const Entry& e = m_entries[static_cast<std::size_t>(slot - 1)];
        if (e.hash == hash && e.length == length &&
            std::memcmp(m_text + e.offset, key, static_cast<std::size_t>(length)) == 0)
            return slot - 1;
    }
    m_entries.push_back(Entry{offset, length, hash});
    m_table[i] = static_cast<std::int32_t>(m_entries.size());
    return static_cast<std::int32_t>(m_entries.size() - 1);
}

void _xp_EndTagIndex::build()
{
    m_built = true;
    // Every tag that can be a start tag "<name>" or an end tag "</name>" of a
    // name without "<": a "<", then no "<", ">" or blank, then ">". A name
    // never holds a blank or ">", so other tags can never match one.
    const char* text = m_text;
    const char* end = m_text + m_length;
    const char* p = text;
    while (p < end) {
        const char* lt = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)));
        if (!lt) break;
        const char* q = lt;
        const char* r = lt + 1;
        bool blank = false;
        for (; r < end; ++r) {
            const char c = *r;
            if (c == '>') break;
            if (c == '<') {
                q = r;
                blank = false;
            } else if (c == ' ') {
                blank = true;
            }
        }
        if (r == end) break;
        if (!blank) {
            const char* key = q + 1;
            int isEnd = 0;
            if (key < r && *key == '/') {
                ++key;
                isEnd = 1;
            }
            const std::int32_t keyLength = static_cast<std::int32_t>(r - key);
            const std::int32_t entry =
                intern(static_cast<std::int32_t>(key - text), keyLength, hashKey(key, keyLength));
            m_tagOffset.push_back(static_cast<std::int32_t>(q - text));
            m_tagGroup.push_back(entry * 2 + isEnd);
        }
        p = r + 1;
    }

    // Group the tags by entry and kind, each group in text order.
    m_groupFirst.assign(m_entries.size() * 2 + 1, 0);
    for (std::int32_t g : m_tagGroup) ++m_groupFirst[static_cast<std::size_t>(g) + 1];
    for (std::size_t g = 1; g < m_groupFirst.size(); ++g) m_groupFirst[g] += m_groupFirst[g - 1];
    m_groupOffsets.resize(m_tagOffset.size());
    std::vector<std::int32_t> fill(m_groupFirst.begin(), m_groupFirst.end() - 1);
    for (std::size_t t = 0; t < m_tagOffset.size(); ++t)
        m_groupOffsets[static_cast<std::size_t>(fill[static_cast<std::size_t>(m_tagGroup[t])]++)] = m_tagOffset[t];
    m_eventsOfEntry.assign(m_entries.size(), -1);
}

_xp_EndTagIndex::Events& _xp_EndTagIndex::eventsOf(std::int32_t entry)
{
    std::int32_t& slot = m_eventsOfEntry[static_cast<std::size_t>(entry)];
    if (slot >= 0) return m_events[static_cast<std::size_t>(slot)];

    const Entry& e = m_entries[static_cast<std::size_t>(entry)];
    const std::uint32_t n = static_cast<std::uint32_t>(e.length);
    // Start tags of a name "/x" are the tags "</x>", filed as ends of x.
    std::int32_t startGroup = entry * 2;
    if (n > 0 && m_text[e.offset] == '/') {
        const std::int32_t inner = lookup(m_text + e.offset + 1, e.length - 1);
        startGroup = inner >= 0 ? inner * 2 + 1 : -1;
    }
    const std::int32_t* s = nullptr;
    const std::int32_t* sEnd = nullptr;
    if (startGroup >= 0) {
        s = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(startGroup)];
        sEnd = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(startGroup) + 1];
    }
    const std::int32_t* c = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2 + 1];
    const std::int32_t* cEnd = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2 + 2];

    Events ev;
    const std::size_t count = static_cast<std::size_t>((sEnd - s) + (cEnd - c));
    ev.sortKey.reserve(count);
    while (s != sEnd || c != cEnd) {
        // A start tag "<name>" at o ends at o + n + 2.
        const std::uint32_t sk = s != sEnd ? 2u * (static_cast<std::uint32_t>(*s) + n + 2u) : UINT32_MAX;
        const std::uint32_t ck = c != cEnd ? 2u * static_cast<std::uint32_t>(*c) + 1u : UINT32_MAX;
        if (sk < ck) {
            ev.sortKey.push_back(sk);
            ++s;
        } else {
            ev.sortKey.push_back(ck);
            ++c;
        }
    }

    // depth[i] = starts minus ends before event i. A start tag placed before
    // event i is closed by the end tag that first takes depth below depth[i].
    const std::size_t m = ev.sortKey.size();
    std::vector<std::int32_t> depth(m + 1);
    depth[0] = 0;
    for (std::size_t i = 0; i < m; ++i) depth[i + 1] = depth[i] + ((ev.sortKey[i] & 1u) ? -1 : 1);
    // firstAt[d + m + 1]: the leftmost event boundary seen so far with depth d.
    std::vector<std::int32_t> firstAt(2 * m + 3, -1);
    ev.close.assign(m + 1, -1);
    for (std::size_t i = m + 1; i-- > 0;) {
        const std::size_t d = static_cast<std::size_t>(depth[i] + static_cast<std::int32_t>(m) + 1);
        const std::int32_t j = firstAt[d - 1];
        if (j > 0) ev.close[i] = static_cast<std::int32_t>(ev.sortKey[static_cast<std::size_t>(j) - 1] >> 1);
        firstAt[d] = static_cast<std::int32_t>(i);
    }

    slot = static_cast<std::int32_t>(m_events.size());
    m_events.push_back(std::move(ev));
    return m_events.back();
}

std::int32_t _xp_EndTagIndex::find(const std::string& pattern, std::int32_t from, std::int32_t limit) const
{
    const std::int64_t size = static_cast<std::int64_t>(pattern.size());
    if (from < 0 || limit - static_cast<std::int64_t>(from) < size) return -1;
    const char* first = m_text + from;
    const char* last = m_text + limit;
    const char* hit = std::search(first, last, pattern.begin(), pattern.end());
    return hit == last ? -1 : static_cast<std::int32_t>(hit - m_text);
}

std::int32_t _xp_EndTagIndex::plainClose(std::int32_t nameStart, std::int32_t nameLength, std::int32_t gt,
                                         std::int32_t windowEnd) const
{
    const std::string name(m_text + nameStart, static_cast<std::size_t>(nameLength));
    const std::string endTag = "</" + name + ">";
    const std::string startTag = "<" + name + ">";
    std::int32_t close = find(endTag, gt, windowEnd);
    if (close < 0) return -1;
    std::int32_t open = find(startTag, gt, close);
    while (open >= 0) {
        close = find(endTag, close + 1, windowEnd);
        if (close < 0) return -1;
        open = find(startTag, open + 1, close);
    }
    return close;
}

std::int32_t _xp_EndTagIndex::findClose(std::int32_t lt, std::int32_t nameStart, std::int32_t nameLength,
                                        std::int32_t gt, std::int32_t windowEnd)
{
    const char* name = m_text + nameStart;
    // Names holding "<" are not indexed (their tags hold several "<"); such
    // names never come from a written file, so they take the plain search.
    if (nameLength > 0 && std::memchr(name, '<', static_cast<std::size_t>(nameLength)))
        return plainClose(nameStart, nameLength, gt, windowEnd);
    if (!m_built) build();

    // Usually the start tag is itself an indexed "<name>": no hashing needed.
    std::int32_t entry = -1;
    while (m_tagCursor < m_tagOffset.size() && m_tagOffset[m_tagCursor] < lt) ++m_tagCursor;
    if (m_tagCursor < m_tagOffset.size() && m_tagOffset[m_tagCursor] == lt) {
        const std::int32_t group = m_tagGroup[m_tagCursor];
        if ((group & 1) == 0 && gt - lt - 1 == nameLength) entry = group >> 1;
    }
    if (entry < 0) entry = lookup(name, nameLength);
    if (entry < 0) return -1;   // no "</name>" anywhere

    Events& ev = eventsOf(entry);
    // First event at or after gt: start tags ending after gt + 1, end tags from gt + 1 on.
    const std::uint32_t from = 2u * (static_cast<std::uint32_t>(gt) + 1u) + 1u;
    const std::vector<std::uint32_t>& keys = ev.sortKey;
    std::size_t a = ev.next;
    if (a > 0 && keys[a - 1] >= from) {
        a = static_cast<std::size_t>(std::lower_bound(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(a), from) - keys.begin());
    } else {
        while (a < keys.size() && keys[a] < from) ++a;
    }
    ev.next = a;
    const std::int32_t close = ev.close[a];
    if (close < 0) return -1;
    if (static_cast<std::int64_t>(close) + nameLength + 3 > windowEnd) return -1;
    return close;
}

// ---------------------------------------------------------------------------
// XP_XmlCursor

bool XP_XmlCursor::findNextTag(_xp_EndTagIndex& index, const char* text)
{
    const std::int32_t p = position;
    tagStart = tagEnd = closeStart = closeEnd = p;
    const std::int32_t lt = findChar(data, p, length, '<');
    if (lt < 0) return false;
    const std::int32_t gt = findChar(data, lt, length, '>');
    if (gt < 0) return false;
    tagStart = lt;
    tagEnd = gt;

    const bool selfClosing = data[gt - 1] == '/';
    nameStart = lt + 1;
    nameEnd = selfClosing ? gt - 2 : gt - 1;
    if (nameEnd >= nameStart) {
        const std::int32_t blank = findChar(data, nameStart, nameEnd + 1, ' ');
        if (blank >= 0) nameEnd = blank - 1;
    }
    attrStart = attrEnd = -1;
    const std::int32_t tagLength = gt - lt + 1;
    const std::int32_t nameLen = nameLength();
    if (tagLength >= 1 && nameLen >= 1 && tagLength - nameLen > 3) {
        attrStart = nameEnd + 2;   // the one character after the name is not part of it
        attrEnd = selfClosing ? gt - 2 : gt - 1;
    }

    if (selfClosing) {
        contentStart = contentEnd = -1;
        position = gt + 1;
        return true;
    }
    if (isSkipped()) {
        contentStart = contentEnd = -1;
        position = gt + 1;   // a comment ends at its first ">"
        return true;
    }

    const std::int32_t origin = static_cast<std::int32_t>(data - text);
    const std::int32_t close =
        index.findClose(origin + lt, origin + nameStart, nameLen, origin + gt, origin + length);
    if (close < 0) return false;
    closeStart = close - origin;
    closeEnd = closeStart + nameLen + 3 - 1;
    contentStart = gt + 1;
    contentEnd = closeStart - 1;
    const std::int32_t next = findChar(data, closeEnd, length, '<');
    position = next >= 0 ? next : closeEnd;
    return true;
}

bool XP_XmlCursor::isSkipped() const
{
    const std::int32_t n = nameLength();
    const char* name = data + nameStart;
    return (n >= 4 && std::memcmp(name, "?xml", 4) == 0) || (n >= 3 && std::memcmp(name, "!--", 3) == 0);
}

bool XP_XmlCursor::contentHasTag() const
{
    const std::int32_t n = rangeLength(contentStart, contentEnd);
    return n > 0 && std::memchr(data + contentStart, '<', static_cast<std::size_t>(n)) != nullptr;
}

void XP_XmlCursor::moveOn()
{
    if (data && length > 0 && position >= 0 && position <= length) {
        data += position;
        length -= position;
    } else {
        if (data) data += position;
        length = 0;
    }
    position = 0;
}
