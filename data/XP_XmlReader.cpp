// XP_XmlReader.cpp - how text becomes a tree: XP_XmlStream::parse, which
// reports what it reads to any listener, and the reading behind
// XP_ParamIO::readStream, which builds the tree straight from the text.
//
// The rules (XP_Param.h has the dialect): a level of the text is scanned tag
// by tag. A tag's end tag is found by a raw search after it, each exact start
// tag of the same name on the way claiming an end tag of its own; a tag whose
// content holds no "<" is a value, any other a node, whose content is then
// scanned as a level of its own. A tag without its end tag ends its level.
// The scan below applies these rules to any text (XP_XmlCursor finds one tag,
// _xp_EndTagIndex its end tag).
//
// Texts as the writer writes them, whose tags pair like brackets, read the
// same with one pass and a stack of open names; for the tree of XP_ParamIO
// that takes under half the time of the scan. So readStream first reads that
// way, building as it goes, and when the text turns out to have another shape
// it drops what it built and scans. Listeners only ever get the scan: their
// reports cannot be taken back.
#include "XP_Param.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// First c in [from, limit) of text, or -1. Most searches end within a few
// characters, where a call of memchr costs more than the search itself.
// Whole 16-byte blocks only: nothing past limit is ever loaded.
inline std::int32_t findChar(const char* text, std::int32_t from, std::int32_t limit, char c)
{
    if (from < 0 || from >= limit) return -1;
    const char* p = text + from;
    const char* const end = text + limit;
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi8(c);
    for (int blocks = 0; end - p >= 16; ++blocks, p += 16) {
        if (blocks == 4) {
            const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
            return hit ? static_cast<std::int32_t>(static_cast<const char*>(hit) - text) : -1;
        }
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), needle));
        if (mask) return static_cast<std::int32_t>(p - text) + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    if (end - p > 32) {
        const void* hit = std::memchr(p, c, static_cast<std::size_t>(end - p));
        return hit ? static_cast<std::int32_t>(static_cast<const char*>(hit) - text) : -1;
    }
    for (; p < end; ++p)
        if (*p == c) return static_cast<std::int32_t>(p - text);
    return -1;
}

// First ">" in [from, limit), or -1; blank becomes the first " " before it
// (or stays -1). One pass for both, as tags are short.
inline std::int32_t findTagEnd(const char* text, std::int32_t from, std::int32_t limit, std::int32_t& blank)
{
    const char* p = text + from;
    const char* const end = text + limit;
#if defined(__SSE2__)
    const __m128i gtChar = _mm_set1_epi8('>');
    const __m128i blankChar = _mm_set1_epi8(' ');
    for (; end - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned gts = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, gtChar)));
        unsigned blanks = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, blankChar)));
        if (gts) blanks &= (gts & (0u - gts)) - 1;   // blanks before the first ">"
        if (blanks && blank < 0) blank = static_cast<std::int32_t>(p - text) + __builtin_ctz(blanks);
        if (gts) return static_cast<std::int32_t>(p - text) + __builtin_ctz(gts);
    }
#endif
    for (; p < end; ++p) {
        if (*p == '>') return static_cast<std::int32_t>(p - text);
        if (*p == ' ' && blank < 0) blank = static_cast<std::int32_t>(p - text);
    }
    return -1;
}

inline bool sameBytes(const char* a, const char* b, std::int32_t n)
{
    if (n > 16) return std::memcmp(a, b, static_cast<std::size_t>(n)) == 0;
    for (std::int32_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Tags whose name begins "?xml" (declarations) or "!--" (comments) are read
// over, never reported.
inline bool skippedName(const char* s, std::size_t n)
{
    return (n >= 4 && std::memcmp(s, "?xml", 4) == 0) || (n >= 3 && std::memcmp(s, "!--", 3) == 0);
}

std::uint32_t hashKey(const char* s, std::int32_t n)
{
    std::uint32_t h = 2166136261u;
    for (std::int32_t i = 0; i < n; ++i) h = (h ^ static_cast<unsigned char>(s[i])) * 16777619u;
    return h ^ (h >> 15);
}

}  // namespace

// ---------------------------------------------------------------------------
// Finding the end tag of a start tag

// Finds the end tag that closes a start tag. The end tag of a name is found by
// raw text search after the start tag, each exact start tag of the same name
// on the way claiming one end tag of its own. Searching the text anew for
// every tag costs the whole content at every level of nesting, so the first
// search indexes every tag of the text once and pairs the start and end tags
// of a name with one pass over that name's tags: each later search is a
// look-up. Results equal those of the plain search in every case.
class _xp_EndTagIndex {
public:
    _xp_EndTagIndex(const char* text, std::int32_t length);

    // Offset of the end tag of the start tag [lt, gt] whose name is the
    // nameLength characters at nameStart (all offsets into the text), or -1
    // when there is none ending at or before windowEnd. Calls must come in
    // text order of lt for the fast path; any order gives the right answer.
    std::int32_t findClose(std::int32_t lt, std::int32_t nameStart, std::int32_t nameLength,
                           std::int32_t gt, std::int32_t windowEnd);

private:
    // The start and end tags of one name, merged in text order: a start tag
    // counts at its end, an end tag at its start (start tags first on a tie),
    // as sortKey 2 * offset or 2 * offset + 1. close[i] is the end tag that
    // a start tag placed before event i is closed by, or -1. All names share
    // the two arrays; a name's events are count keys and count + 1 closes
    // from first on.
    struct Events {
        std::int32_t first = -1;   // into m_sortKey; -1 until built
        std::int32_t closeFirst = 0;   // into m_close
        std::int32_t count = 0;
        std::int32_t next = 0;     // where the last search stopped
    };

    void build();
    std::int32_t intern(std::int32_t offset, std::int32_t length, std::uint32_t hash);
    std::int32_t lookup(const char* key, std::int32_t length) const;
    Events& eventsOf(std::int32_t entry);
    std::int32_t plainClose(std::int32_t nameStart, std::int32_t nameLength, std::int32_t gt,
                            std::int32_t windowEnd) const;
    std::int32_t find(const std::string& pattern, std::int32_t from, std::int32_t limit) const;

    const char* m_text;
    std::int32_t m_length;
    bool m_built;

    // Keys of the tags without "<" or blank inside, interned: a tag "<k>"
    // files under k as a start, "</k>" under k as an end.
    struct Entry {
        std::int32_t offset;
        std::int32_t length;
        std::uint32_t hash;
    };
    std::vector<Entry> m_entries;
    std::vector<std::int32_t> m_table;   // entry + 1; 0 is free

    std::vector<std::int32_t> m_tagOffset;   // every indexed tag, in text order
    std::vector<std::int32_t> m_tagGroup;    // 2 * entry, + 1 for an end tag
    std::size_t m_tagCursor;
    std::vector<std::int32_t> m_groupFirst;   // per group, into m_groupOffsets
    std::vector<std::int32_t> m_groupOffsets;

    std::vector<Events> m_events;   // per entry
    std::vector<std::uint32_t> m_sortKey;
    std::vector<std::int32_t> m_close;
    std::vector<std::int32_t> m_depth, m_firstAt;   // scratch of eventsOf
};

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
        if (e.hash == hash && e.length == length && sameBytes(m_text + e.offset, key, length))
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
        if (e.hash == hash && e.length == length && sameBytes(m_text + e.offset, key, length))
            return slot - 1;
    }
    m_entries.push_back(Entry{offset, length, hash});
    m_table[i] = static_cast<std::int32_t>(m_entries.size());
    return static_cast<std::int32_t>(m_entries.size() - 1);
}

void _xp_EndTagIndex::build()
{
    m_built = true;
    m_tagOffset.reserve(static_cast<std::size_t>(m_length / 64));
    m_tagGroup.reserve(static_cast<std::size_t>(m_length / 64));
    // Every tag that can be a start tag "<name>" or an end tag "</name>" of a
    // name without "<": a "<", then no "<", ">" or blank, then ">". A name
    // never holds a blank or ">", so other tags can never match one.
    const char* text = m_text;
    const char* end = m_text + m_length;
    const char* p = text;
    while (p < end) {
        const std::int32_t at = findChar(text, static_cast<std::int32_t>(p - text), m_length, '<');
        if (at < 0) break;
        const char* lt = text + at;
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
        const char* key = q + 1;
        int isEnd = 0;
        if (key < r && *key == '/') {
            ++key;
            isEnd = 1;
        }
        const std::int32_t keyLength = static_cast<std::int32_t>(r - key);
        // Names beginning or ending with "/" take the plain search; so their
        // tags ("<//x>", "<x/>") are never looked up here.
        if (!blank && !(keyLength > 0 && (key[0] == '/' || key[keyLength - 1] == '/'))) {
            if (!isEnd) {
                // A value's own pair "<x>text</x>" (no "<" in the text) adds a
                // start and at once its end: it never decides which end tag
                // closes an outer x, and a search starting inside it is a
                // value, found without the index. Leave it out.
                const std::int32_t next = findChar(text, static_cast<std::int32_t>(r - text) + 1, m_length, '<');
                if (next >= 0 && static_cast<std::int64_t>(next) + keyLength + 3 <= m_length &&
                    text[next + 1] == '/' && text[next + 2 + keyLength] == '>' &&
                    sameBytes(text + next + 2, key, keyLength)) {
                    p = text + next + keyLength + 3;
                    continue;
                }
            }
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
    m_events.assign(m_entries.size(), Events());
}

_xp_EndTagIndex::Events& _xp_EndTagIndex::eventsOf(std::int32_t entry)
{
    Events& ev = m_events[static_cast<std::size_t>(entry)];
    if (ev.first >= 0) return ev;

    const std::uint32_t n = static_cast<std::uint32_t>(m_entries[static_cast<std::size_t>(entry)].length);
    const std::int32_t* s = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2];
    const std::int32_t* sEnd = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2 + 1];
    const std::int32_t* c = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2 + 1];
    const std::int32_t* cEnd = m_groupOffsets.data() + m_groupFirst[static_cast<std::size_t>(entry) * 2 + 2];

    const std::size_t first = m_sortKey.size();
    const std::size_t m = static_cast<std::size_t>((sEnd - s) + (cEnd - c));
    ev.first = static_cast<std::int32_t>(first);
    ev.count = static_cast<std::int32_t>(m);
    ev.next = 0;
    m_sortKey.resize(first + m);
    std::uint32_t* key = m_sortKey.data() + first;
    while (s != sEnd || c != cEnd) {
        // A start tag "<name>" at o ends at o + n + 2.
        const std::uint32_t sk = s != sEnd ? 2u * (static_cast<std::uint32_t>(*s) + n + 2u) : UINT32_MAX;
        const std::uint32_t ck = c != cEnd ? 2u * static_cast<std::uint32_t>(*c) + 1u : UINT32_MAX;
        if (sk < ck) {
            *key++ = sk;
            ++s;
        } else {
            *key++ = ck;
            ++c;
        }
    }
    key = m_sortKey.data() + first;

    // depth[i] = starts minus ends before event i. A start tag placed before
    // event i is closed by the end tag that first takes depth below depth[i].
    m_depth.resize(m + 1);
    m_depth[0] = 0;
    for (std::size_t i = 0; i < m; ++i) m_depth[i + 1] = m_depth[i] + ((key[i] & 1u) ? -1 : 1);
    // firstAt[d + m + 1]: the leftmost event boundary seen so far with depth d.
    m_firstAt.assign(2 * m + 3, -1);
    const std::size_t closeFirst = m_close.size();
    ev.closeFirst = static_cast<std::int32_t>(closeFirst);
    m_close.resize(closeFirst + m + 1);
    std::int32_t* close = m_close.data() + closeFirst;
    for (std::size_t i = m + 1; i-- > 0;) {
        const std::size_t d = static_cast<std::size_t>(m_depth[i] + static_cast<std::int32_t>(m) + 1);
        const std::int32_t j = m_firstAt[d - 1];
        close[i] = j > 0 ? static_cast<std::int32_t>(key[j - 1] >> 1) : -1;
        m_firstAt[d] = static_cast<std::int32_t>(i);
    }
    return ev;
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
    // Names holding "<" (their tags hold several), stray end tags read as
    // start tags ("/x") and names ending in "/" are not indexed; no written
    // file holds them, and they take the plain search.
    if (nameLength > 0 && (name[0] == '/' || name[nameLength - 1] == '/' ||
                           std::memchr(name, '<', static_cast<std::size_t>(nameLength))))
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
    const std::uint32_t* keys = m_sortKey.data() + ev.first;
    const std::size_t count = static_cast<std::size_t>(ev.count);
    // First event at or after gt: start tags ending after gt + 1, end tags from gt + 1 on.
    const std::uint32_t from = 2u * (static_cast<std::uint32_t>(gt) + 1u) + 1u;
    std::size_t a = static_cast<std::size_t>(ev.next);
    if (a > 0 && keys[a - 1] >= from) {
        a = static_cast<std::size_t>(std::lower_bound(keys, keys + a, from) - keys);
    } else {
        while (a < count && keys[a] < from) ++a;
    }
    ev.next = static_cast<std::int32_t>(a);
    const std::int32_t close = m_close[static_cast<std::size_t>(ev.closeFirst) + a];
    if (close < 0) return -1;
    if (static_cast<std::int64_t>(close) + nameLength + 3 > windowEnd) return -1;
    return close;
}

// ---------------------------------------------------------------------------
// The scan

// One level of the scan: a window of the text and the tag found last in it.
// Offsets are relative to data; -1 is unset; ranges are inclusive.
struct XP_XmlCursor {
    const char* data = nullptr;
    std::int32_t length = 0;
    std::int32_t position = 0;
    std::int32_t tagStart = -1, tagEnd = -1;
    std::int32_t closeStart = -1, closeEnd = -1;
    std::int32_t nameStart = -1, nameEnd = -1;
    std::int32_t attrStart = -1, attrEnd = -1;
    std::int32_t contentStart = -1, contentEnd = -1;
    std::int32_t contentLt = -1;   // the first "<" of the content: -1 for a value

    static std::int32_t rangeLength(std::int32_t start, std::int32_t end)
    {
        return (start >= 0 && end >= 0 && end >= start) ? end - start + 1 : 0;
    }

    // Finds the next tag from position. False when there is none: the rest
    // of this window is then ignored. text is the start of the whole text.
    bool findNextTag(_xp_EndTagIndex& index, const char* text);
    // "<?xml..." and "<!--...": read over, never reported.
    bool isSkipped() const { return skippedName(data + nameStart, static_cast<std::size_t>(nameLength())); }
    // A tag whose content holds a "<" is a node, any other a value.
    bool contentHasTag() const { return contentLt >= 0; }
    // Moves the window's start to position.
    void moveOn();

    std::string_view piece(std::int32_t start, std::int32_t end) const
    {
        const std::int32_t n = rangeLength(start, end);
        return n ? std::string_view(data + start, static_cast<std::size_t>(n)) : std::string_view();
    }
    std::string_view name() const { return piece(nameStart, nameEnd); }
    std::string_view attributes() const { return piece(attrStart, attrEnd); }
    std::string_view content() const { return piece(contentStart, contentEnd); }
    std::int32_t nameLength() const { return rangeLength(nameStart, nameEnd); }
};

// ---------------------------------------------------------------------------
// XP_XmlCursor

bool XP_XmlCursor::findNextTag(_xp_EndTagIndex& index, const char* text)
{
    const std::int32_t p = position;
    tagStart = tagEnd = closeStart = closeEnd = p;
    const std::int32_t lt = findChar(data, p, length, '<');
    if (lt < 0) return false;
    std::int32_t blank = -1;
    const std::int32_t gt = findTagEnd(data, lt + 1, length, blank);
    if (gt < 0) return false;
    tagStart = lt;
    tagEnd = gt;

    const bool selfClosing = data[gt - 1] == '/';
    nameStart = lt + 1;
    nameEnd = selfClosing ? gt - 2 : gt - 1;
    // The first blank ends the name ("/" before ">" is never a blank).
    if (blank >= 0 && blank <= nameEnd) nameEnd = blank - 1;
    attrStart = attrEnd = -1;
    const std::int32_t tagLength = gt - lt + 1;
    const std::int32_t nameLen = nameLength();
    if (tagLength >= 1 && nameLen >= 1 && tagLength - nameLen > 3) {
        attrStart = nameEnd + 2;   // the one character after the name is not part of it
        attrEnd = selfClosing ? gt - 2 : gt - 1;
    }

    contentLt = -1;
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

    // No end tag without a "<" after the start tag. When that first "<"
    // begins the end tag, it is the one: no start tag of the name can stand
    // before it. Values are found so, without asking the index.
    const std::int32_t firstLt = findChar(data, gt + 1, length, '<');
    if (firstLt < 0) return false;
    std::int32_t close;
    if (static_cast<std::int64_t>(firstLt) + nameLen + 3 <= length && data[firstLt + 1] == '/' &&
        data[firstLt + 2 + nameLen] == '>' && sameBytes(data + firstLt + 2, data + nameStart, nameLen)) {
        close = firstLt;
    } else {
        const std::int32_t origin = static_cast<std::int32_t>(data - text);
        close = index.findClose(origin + lt, origin + nameStart, nameLen, origin + gt, origin + length);
        if (close < 0) return false;
        close -= origin;
        contentLt = firstLt;
    }
    closeStart = close;
    closeEnd = closeStart + nameLen + 3 - 1;
    contentStart = gt + 1;
    contentEnd = closeStart - 1;
    const std::int32_t next = findChar(data, closeEnd, length, '<');
    position = next >= 0 ? next : closeEnd;
    return true;
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

namespace {

// Scans the text level by level, reporting to sink. Each open node keeps its
// cursor on a stack instead of the call stack, so nesting depth costs heap,
// not stack.
template <class Sink>
void scan(const char* text, std::int32_t length, Sink& sink)
{
    _xp_EndTagIndex index(text, length);
    std::vector<XP_XmlCursor> levels(1);
    levels[0].data = text;
    levels[0].length = length;

    while (!levels.empty()) {
        XP_XmlCursor& cursor = levels.back();
        if (!cursor.data || cursor.length <= 0 || !cursor.findNextTag(index, text)) {
            levels.pop_back();
            if (levels.empty()) break;
            // The level was a node's content: the node ends, its parent goes on.
            XP_XmlCursor& parent = levels.back();
            if (parent.nameLength() > 0) sink.endNode(parent.name(), parent.attributes());
            parent.moveOn();
            continue;
        }
        if (cursor.isSkipped()) {
            cursor.moveOn();
            continue;
        }
        const bool named = cursor.nameLength() > 0;
        if (!cursor.contentHasTag()) {
            if (named) sink.element(cursor.name(), cursor.content(), cursor.attributes());
            cursor.moveOn();
            continue;
        }
        if (named) sink.startNode(cursor.name(), cursor.attributes());
        XP_XmlCursor content;
        content.data = cursor.data + cursor.contentStart;
        content.length = XP_XmlCursor::rangeLength(cursor.contentStart, cursor.contentEnd);
        levels.push_back(content);   // cursor is not used past this point
    }
}

// Reports to a listener through its interface.
class ListenerSink {
public:
    explicit ListenerSink(XP_XmlNotify& notify) : m_notify(notify) {}
    void startNode(std::string_view name, std::string_view attributes)
    {
        set(name, attributes);
        m_notify.startNode(m_name, m_attributes);
    }
    void element(std::string_view name, std::string_view value, std::string_view attributes)
    {
        set(name, attributes);
        m_value.assign(value.data(), value.size());
        m_notify.element(m_name, m_value, m_attributes);
    }
    void endNode(std::string_view name, std::string_view attributes)
    {
        set(name, attributes);
        m_notify.endNode(m_name, m_attributes);
    }

private:
    void set(std::string_view name, std::string_view attributes)
    {
        m_name.assign(name.data(), name.size());
        m_attributes.assign(attributes.data(), attributes.size());
    }
    XP_XmlNotify& m_notify;
    std::string m_name, m_value, m_attributes;
};

}  // namespace

// ---------------------------------------------------------------------------
// _xp_Arena: the reader's memory for the sequences of a tree

struct _xp_Arena {
    // Blocks handed out and not yet given back, plus one while the reader
    // is filling the tree; at zero the arena goes.
    std::atomic<std::size_t> blocks{1};
    // While the reader fills the tree, nothing else can reach the arena.
    // Afterwards nodes of the tree may be grown from any thread that holds
    // them, so taking memory is locked.
    bool sealed = false;
    std::mutex lock;
    std::vector<std::unique_ptr<char[]>> chunks;
    char* next = nullptr;
    std::size_t left = 0;
};

namespace {
// Blocks above this size come from the heap: a large node's sequence grows
// by reallocation, and the arena would keep every size it passed through.
constexpr std::size_t kLargestArenaBlock = 16 * 1024;
// Chunks stay small enough that heaps serve them from their own pools
// rather than mapping pages anew for each.
constexpr std::size_t kChunk = 64 * 1024;
}  // namespace

void* _xp_arenaAllocate(_xp_Arena* arena, std::size_t bytes)
{
    if (bytes > kLargestArenaBlock) return ::operator new(bytes);
    std::unique_lock<std::mutex> guard(arena->lock, std::defer_lock);
    if (arena->sealed) guard.lock();
    bytes = (bytes + 15) & ~std::size_t(15);
    if (arena->left < bytes) {
        arena->chunks.reserve(arena->chunks.size() + 1);   // no chunk lost if this fails
        arena->chunks.emplace_back(new char[kChunk]);
        arena->next = arena->chunks.back().get();
        arena->left = kChunk;
    }
    void* block = arena->next;
    arena->next += bytes;
    arena->left -= bytes;
    // While the reader fills the tree, its thread is the only one counting.
    if (arena->sealed)
        arena->blocks.fetch_add(1, std::memory_order_relaxed);
    else
        arena->blocks.store(arena->blocks.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return block;
}

void _xp_arenaRelease(_xp_Arena* arena, void* block, std::size_t bytes) noexcept
{
    if (bytes > kLargestArenaBlock) {
        ::operator delete(block);
        return;
    }
    if (arena->blocks.fetch_sub(1, std::memory_order_acq_rel) == 1) delete arena;
}

// Builds the tree that XP_XML_Param_Notify builds from the reports, straight
// from pieces of the text (which never belong to the tree).
struct _xp_TreeSink {
    explicit _xp_TreeSink(XP_XML_Param_Notify& t) : tree(t), arena(new _xp_Arena) {}
    ~_xp_TreeSink()
    {
        tree.m_current = nullptr;   // however the reading ends, no node stays open
        arena->sealed = true;
        _xp_arenaRelease(arena, nullptr, 0);   // the reader's own hold
    }
    _xp_TreeSink(const _xp_TreeSink&) = delete;
    _xp_TreeSink& operator=(const _xp_TreeSink&) = delete;

    // Room for n in a sequence of the tree. Its first block comes from the
    // arena, which the sequence then keeps as its allocator; elements start
    // marked as holding short texts only (XP_XML_Node::putElement keeps to it).
    template <class List>
    void reserve(List& list, std::size_t n)
    {
        if (list.capacity() >= n) return;
        if (list.capacity() > 0) {
            list.reserve(n);
            return;
        }
        const bool elements = std::is_same<List, XP_XML_Node::ElementList>::value;
        List fresh{typename List::allocator_type(arena, elements)};
        fresh.reserve(n);
        list = std::move(fresh);
    }

    void startNode(std::string_view name, std::string_view attributes)
    {
        XP_XML_Node*& current = tree.m_current;
        if (!current) {
            XP_XML_Node& root = tree.m_root;
            root.m_name.assign(name.data(), name.size());
            root.m_attributes.assign(attributes.data(), attributes.size());
            root.m_parent = nullptr;
            current = &root;
            depth = 0;
        } else {
            if (current->m_nodes.capacity() == 0) reserve(current->m_nodes, 4);
            current = current->appendNode(name, attributes);
            ++depth;
        }
        if (depth < shapes.size()) {
            reserve(current->m_elements, shapes[depth].elements);
            reserve(current->m_nodes, shapes[depth].nodes);
        }
    }

    void element(std::string_view name, std::string_view value, std::string_view attributes)
    {
        XP_XML_Node* current = tree.m_current;
        if (current) {
            if (current->m_elements.capacity() == 0) reserve(current->m_elements, 4);
            current->putElement(name, value, attributes);
        } else {
            XP_XML_Node& root = tree.m_root;   // it names the root, as a start would
            root.m_name.assign(name.data(), name.size());
            root.m_attributes.assign(attributes.data(), attributes.size());
            root.m_parent = nullptr;
        }
    }

    void endNode(std::string_view = std::string_view(), std::string_view = std::string_view())
    {
        XP_XML_Node*& current = tree.m_current;
        if (shapes.size() <= depth) shapes.resize(depth + 1);
        shapes[depth].elements = current->m_elements.size();
        shapes[depth].nodes = current->m_nodes.size();
        current = current->m_parent;
        if (depth > 0) --depth;
    }

    XP_XML_Param_Notify& tree;
    _xp_Arena* arena;
    // Sizes of the node closed last at each depth. Parameter files repeat
    // their shape, so a new node reserves that much room up front instead of
    // regrowing its sequences element by element.
    struct Shape {
        std::size_t elements = 0, nodes = 0;
    };
    std::vector<Shape> shapes;
    std::size_t depth = 0;
};

namespace {

// Characters that end a plain tag name: ">" ends it, "<", "/" and the blank
// make the tag one the bracket reading does not take.
struct NameStops {
    bool stop[256];
    NameStops() : stop()
    {
        for (char c : {'>', '<', '/', ' '}) stop[static_cast<unsigned char>(c)] = true;
    }
};
const NameStops kNameStops;

// The bracket reading. Take a text in which every "<" begins a plain tag,
// "<name>" or "</name>" with a name that holds no blank, "/", "<" or ">", or
// a declaration or comment with no "<" before its ">", and in which the start
// and end tags pair up like brackets. There the end tag of every start tag is
// its bracket partner (the exact start tags of its name in between claim the
// end tags of their own), and a start tag whose next "<" begins its own end
// tag is a value. So a stack of the open names reads the text exactly as the
// scan does. Returns false at the first thing outside that shape; what was
// built until then must be dropped.
bool readBrackets(const char* text, std::int32_t length, _xp_TreeSink& sink)
{
    struct OpenName {
        std::int32_t start, length;
    };
    std::vector<OpenName> open;
    std::int32_t p = 0;
    for (;;) {
        const std::int32_t lt = findChar(text, p, length, '<');
        if (lt < 0) return open.empty();
        std::int32_t name = lt + 1;
        if (name < length && text[name] == '/') {
            // Only the end tag of the open node may stand here.
            if (open.empty()) return false;
            const OpenName top = open.back();
            ++name;
            if (length - name <= top.length || text[name + top.length] != '>' ||
                !sameBytes(text + name, text + top.start, top.length))
                return false;
            sink.endNode();
            open.pop_back();
            p = name + top.length + 1;
            continue;
        }
        std::int32_t gt = name;
        while (gt < length && !kNameStops.stop[static_cast<unsigned char>(text[gt])]) ++gt;
        if (gt == length) return false;
        if (text[gt] != '>' || gt == name) {
            // A declaration or a comment, or a tag this reading does not take.
            const std::int32_t nextOpen = findChar(text, gt, length, '<');
            gt = findChar(text, gt, length, '>');
            if (gt < 0 || (nextOpen >= 0 && nextOpen < gt) ||
                !skippedName(text + name, static_cast<std::size_t>(gt - name)))
                return false;
            p = gt + 1;
            continue;
        }
        const std::int32_t n = gt - name;
        if (skippedName(text + name, static_cast<std::size_t>(n))) {
            p = gt + 1;
            continue;
        }
        const std::int32_t next = findChar(text, gt + 1, length, '<');
        if (next < 0) return false;   // no end tag
        const std::string_view nameText(text + name, static_cast<std::size_t>(n));
        if (length - next > n + 2 && text[next + 1] == '/' && text[next + n + 2] == '>' &&
            sameBytes(text + next + 2, text + name, n)) {
            sink.element(nameText, std::string_view(text + gt + 1, static_cast<std::size_t>(next - gt - 1)),
                         std::string_view());
            p = next + n + 3;
        } else {
            sink.startNode(nameText, std::string_view());
            open.push_back(OpenName{name, n});
            p = next;
        }
    }
}

}  // namespace

bool XP_XmlStream::parse(const char* text, std::int32_t length)
{
    if (!text || length <= 0) return false;
    assign(text, static_cast<std::size_t>(length));
    // Without a listener a scan has nothing to show for itself.
    if (notify) {
        ListenerSink sink(*notify);
        scan(data(), length, sink);
    }
    return true;
}

void XP_XmlStream::buildTree(XP_XML_Param_Notify& tree)
{
    const std::int32_t length = static_cast<std::int32_t>(size());
    if (length <= 0) return;
    _xp_TreeSink sink(tree);
    if (readBrackets(data(), length, sink)) return;
    tree.clear();
    _xp_TreeSink again(tree);
    scan(data(), length, again);
}
