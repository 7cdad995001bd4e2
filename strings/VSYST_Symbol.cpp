// Packed twelve-character symbols and the interned text symbols.
#include "VSYST_Symbol.h"
#include "VSYST_DumpStream.h"
#include "V_Exception.h"
#include "V_StringPool.h"
#include "dllmain/OrvLock.h"
#include "strings/orv_symtab.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <ostream>

// ---- VSYST_Symbol12 ----------------------------------------------------------

namespace {

const char kUpper[] = "$0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_";
const char kLower[] = "$0123456789abcdefghijklmnopqrstuvwxyz_";
const unsigned long kDigitWeight[6] = {90224199ul, 2313441ul, 59319ul, 1521ul, 39ul, 1ul};

// Character values: k + 1 for character k of either alphabet string, 0 for
// everything else. A function-local static, so that it is filled once, on
// first use, even when the first uses come from several threads.
struct ValueTable {
    unsigned char value[256];
    ValueTable()
    {
        std::memset(value, 0, sizeof value);
        for (unsigned k = 0; kUpper[k]; ++k) {
            value[static_cast<unsigned char>(kUpper[k])] = static_cast<unsigned char>(k + 1);
            value[static_cast<unsigned char>(kLower[k])] = static_cast<unsigned char>(k + 1);
        }
    }
};

const unsigned char* values()
{
    static const ValueTable table;
    return table.value;
}

}  // namespace

void VSYST_Symbol12::makeSym(const char* name)
{
    const unsigned char* value = values();
    unsigned long word[2] = {0, 0};
    if (name)
        for (unsigned k = 0; k < 12 && name[k]; ++k)
            word[k / 6] += value[static_cast<unsigned char>(name[k])] * kDigitWeight[k % 6];
    m_high = word[0];
    m_low = word[1];
}

void VSYST_Symbol12::makeSym(const wchar_t*) { makeSym("__UNICODE__"); }

bool VSYST_Symbol12::isValid(char c) { return values()[static_cast<unsigned char>(c)] != 0; }

bool VSYST_Symbol12::isValid(const char* name)
{
    if (!name) return true;
    for (; *name; ++name)
        if (!isValid(*name)) return false;
    return true;
}

void VSYST_Symbol12::name(char* buffer) const
{
    for (unsigned k = 0; k < 12; ++k) {
        unsigned long digit = ((k < 6 ? m_high : m_low) / kDigitWeight[k % 6]) % 39;
        buffer[k] = digit ? kUpper[digit - 1] : '\0';
        if (!digit) return;
    }
    buffer[12] = '\0';
}

V_STRING VSYST_Symbol12::getName() const
{
    char text[13];
    name(text);
    return V_STRING(text);
}

VSYST_Symbol12::operator V_HashValue() const
{
    char bytes[8];
    for (unsigned i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>(m_high >> (8 * i));
        bytes[4 + i] = static_cast<char>(m_low >> (8 * i));
    }
    return V_HashValue(VSYST_StringHashValueMax(bytes, 8));
}

std::ostream& operator<<(std::ostream& os, const VSYST_Symbol12& s)
{
    char text[13];
    s.name(text);
    return os << text;
}

VSYST_DumpStream& operator<<(VSYST_DumpStream& os, const VSYST_Symbol12& s)
{
    char text[13];
    s.name(text);
    return os << text;
}

// ---- intern tables ----------------------------------------------------------

namespace {

const unsigned long kTableSizes[4] = {4093ul, 16381ul, 65521ul, 262139ul};
const unsigned long kLastStep = 3;
const unsigned long kMostEntries = 235925ul;   // 90 per cent of the last size
const unsigned long kQuadraticSteps = 512;

bool sameText(const char* a, const char* b) { return std::strcmp(a, b) == 0; }
bool sameText(const wchar_t* a, const wchar_t* b) { return std::wcscmp(a, b) == 0; }

const char* poolCopy(const char* text) { return V_StringPool_CHAR::allocCopy(text); }
const wchar_t* poolCopy(const wchar_t* text) { return V_StringPool_WCHAR::allocCopy(text); }

}  // namespace

namespace orv {

template <class Ch>
InternTable<Ch>::InternTable()
    : m_step(0), m_slots(kTableSizes[0]), m_entries(0), m_array(new (std::nothrow) const Ch*[kTableSizes[0]]())
{
    InitializeSRWLock(&m_lock);
}

template <class Ch>
InternTable<Ch>::~InternTable()
{
    delete[] m_array;
    m_array = nullptr;
}

template <class Ch>
const Ch** InternTable<Ch>::probe(const Ch* text, unsigned long hash) const
{
    unsigned long i = hash % m_slots;
    for (unsigned long k = 0;; ++k) {
        const Ch* held = m_array[i];
        if (!held || sameText(held, text)) return &m_array[i];
        // The linear steps pass every slot: the table is full.
        if (k >= kQuadraticSteps + m_slots) return nullptr;
        i = (k < kQuadraticSteps ? i + 2 * k + 1 : i + 1) % m_slots;
    }
}

template <class Ch>
void InternTable<Ch>::grow()
{
    const unsigned long slots = kTableSizes[m_step + 1];
    const Ch** array = new (std::nothrow) const Ch*[slots]();
    if (!array) return;   // keeps working at the old size
    const Ch** old = m_array;
    const unsigned long oldSlots = m_slots;
    m_array = array;
    m_slots = slots;
    ++m_step;
    for (unsigned long i = 0; i < oldSlots; ++i)
        if (old[i]) *probe(old[i], VSYST_StringHashValue(old[i])) = old[i];
    delete[] old;
}

template <class Ch>
const Ch* InternTable<Ch>::intern(const Ch* text)
{
    if (!text) return nullptr;
    const unsigned long hash = VSYST_StringHashValue(text);
    {
        orv::SrwGuard shared(m_lock, false);
        if (m_array && !growthDue())
            if (const Ch** slot = probe(text, hash))
                if (*slot) return *slot;
    }
    orv::SrwGuard exclusive(m_lock, true);
    if (!m_array) {
        m_array = new (std::nothrow) const Ch*[m_slots]();
        if (!m_array) throw VSYST_XMemory();
    }
    if (growthDue()) {
        if (m_step < kLastStep) grow();
        else if (m_entries >= kMostEntries) VSYST_AssertionFailed::doThrowFinal();
    }
    const Ch** slot = probe(text, hash);
    // Only when the final assertion returned and every slot is taken.
    if (!slot) throw VSYST_XMemory();
    if (!*slot) {
        *slot = poolCopy(text);
        ++m_entries;
    }
    return *slot;
}

template <class Ch>
VSYST_SymbolTableInfo InternTable<Ch>::info() const
{
    orv::SrwGuard shared(m_lock, false);
    return VSYST_SymbolTableInfo{m_step, m_slots, m_entries};
}

template class InternTable<char>;
template class InternTable<wchar_t>;

}  // namespace orv

// ---- interned symbols -------------------------------------------------------

VSYST_SymbolA::VSYST_SymbolA(const char* text) : m_text(orv::g_symbolsA.intern(text)) {}
VSYST_SymbolTableInfo VSYST_SymbolA::tableInfo() { return orv::g_symbolsA.info(); }

VSYST_SymbolT::VSYST_SymbolT(const char* text) : m_text(orv::g_symbolsA.intern(text)) {}

VSYST_SymbolW::VSYST_SymbolW(const wchar_t* text) : m_text(orv::g_symbolsW.intern(text)) {}
VSYST_SymbolTableInfo VSYST_SymbolW::tableInfo() { return orv::g_symbolsW.info(); }
